// qldixw-devsim: a simulated device on a virtual COM port, for trying the console
// and for the end-to-end tests without hardware.

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

    QString error;
    const std::unique_ptr<PtyPort> port =
        PtyPort::open(&error, options.ttyDefaults ? PtyPort::Line::KernelDefaults : PtyPort::Line::Raw);
    if (!port)
        return fail(error, 1);

    QString linkPath = options.linkPath;
    if (linkPath.isEmpty()) {
        const QString directory = ports::virtualPortsDirectory();
        error = preparePortsDirectory(directory);
        if (!error.isEmpty())
            return fail(error, 1);
        linkPath = QDir(directory).filePath(options.port);
    }
    error = publishLink(linkPath, port->slavePath());
    if (!error.isEmpty())
        return fail(error, 1);

    const std::unique_ptr<SimDevice> device = makeDevice(options);
    SimServer server(*port, *device, options);
    SignalWatcher signalWatcher({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&signalWatcher, &SignalWatcher::caught, &app, [](int) { QCoreApplication::quit(); });

    std::printf("ready %s %s\n", port->slavePath().toLocal8Bit().constData(), linkPath.toLocal8Bit().constData());
    std::fflush(stdout);

    const int code = app.exec();
    unpublishLink(linkPath, port->slavePath());
    return code;
}
