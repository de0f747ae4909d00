// qldixw-devsim: a simulated device on a virtual COM port, for trying the console
// and for the end-to-end tests without hardware.

#include "conversation.h"
#include "ptyport.h"
#include "publishedlink.h"
#include "signalwatcher.h"
#include "simdevice.h"
#include "simoptions.h"
#include "simserver.h"
#include "virtualports.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <vector>

using namespace devsim;

namespace {
int fail(const QString& message, int code)
{
    std::fprintf(stderr, "qldixw-devsim: %s\n", message.toLocal8Bit().constData());
    return code;
}
} // namespace

int main(int argc, char* argv[])
{
    // Before any thread exists, so none of them takes a termination signal
    // that should have let the link be removed.
    SignalWatcher::blockSignals({SIGINT, SIGTERM, SIGHUP});
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qldixw-devsim"));

    const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (!parsed.helpText.isEmpty()) {
        std::fputs(parsed.helpText.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parsed.error.isEmpty())
        return fail(parsed.error + QStringLiteral(" (see --help)"), 2);
    const SimOptions& options = parsed.options;

    // One port answering the console, or two for a conversation: the station's, then the
    // device's.
    const QStringList names = options.conversation.isEmpty() ? QStringList{options.port} : options.conversation;
    std::vector<std::unique_ptr<PtyPort>> ports;
    QStringList links;
    const auto unpublishAll = [&] {
        for (std::size_t i = 0; i < std::size_t(links.size()); ++i)
            unpublishLink(links[qsizetype(i)], ports[i]->slavePath());
    };
    QString error;
    for (const QString& name : names) {
        ports.push_back(PtyPort::open(&error, options.ttyDefaults ? PtyPort::Line::KernelDefaults : PtyPort::Line::Raw));
        if (!ports.back()) {
            unpublishAll();
            return fail(error, 1);
        }
        QString linkPath = options.linkPath;
        if (linkPath.isEmpty()) {
            const QString directory = ports::virtualPortsDirectory();
            error = preparePortsDirectory(directory);
            if (error.isEmpty())
                linkPath = QDir(directory).filePath(name);
        }
        if (error.isEmpty())
            error = publishLink(linkPath, ports.back()->slavePath());
        if (!error.isEmpty()) {
            unpublishAll();
            return fail(error, 1);
        }
        links << linkPath;
    }

    const std::unique_ptr<SimDevice> device = makeDevice(options);
    SimServer server(*ports.back(), *device, options);
    std::unique_ptr<Conversation> conversation;
    if (!options.conversation.isEmpty())
        conversation = std::make_unique<Conversation>(*ports.front(), server, options);
    SignalWatcher signalWatcher({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&signalWatcher, &SignalWatcher::caught, &app, [](int) { QCoreApplication::quit(); });

    QByteArray ready = "ready";
    for (std::size_t i = 0; i < ports.size(); ++i)
        ready += ' ' + ports[i]->slavePath().toLocal8Bit() + ' ' + links[qsizetype(i)].toLocal8Bit();
    std::printf("%s\n", ready.constData());
    std::fflush(stdout);

    const int code = app.exec();
    unpublishAll();
    return code;
}
