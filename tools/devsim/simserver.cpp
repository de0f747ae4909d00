#include "simserver.h"

#include "frametext.h"
#include "ptyport.h"
#include "simdevice.h"

#include <cstdio>

namespace devsim {

namespace {
// How often to look for a console while nobody holds the port open. The hung-up
// line reads as always ready, so the notifier is off meanwhile.
constexpr int kClientPollMs = 20;
} // namespace

SimServer::SimServer(PtyPort& port, SimDevice& device, const SimOptions& options, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_device(device),
      m_options(options),
      m_readNotifier(port.fd(), QSocketNotifier::Read)
{
    m_clock.start();
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &SimServer::readAvailable);

    m_clientPoll.setInterval(kClientPollMs);
    connect(&m_clientPoll, &QTimer::timeout, this, &SimServer::checkForClient);

    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &SimServer::sendDue);

    if (!m_options.unsolicited.isEmpty()) {
        m_unsolicitedTimer.setInterval(m_options.unsolicitedEveryMs);
        connect(&m_unsolicitedTimer, &QTimer::timeout, this,
                [this] { transmit(m_options.unsolicited, QStringLiteral("unsolicited")); });
        m_unsolicitedTimer.start();
    }

    if (!m_port.clientConnected())
        lineClosed(QStringLiteral("waiting for a program to open the port"));
}

void SimServer::readAvailable()
{
    QByteArray bytes;
    const PtyPort::ReadResult result = m_port.readAll(bytes);
    if (!bytes.isEmpty())
        receive(bytes);
    if (result == PtyPort::ReadResult::HungUp)
        lineClosed(QStringLiteral("port closed by the other side"));
}

void SimServer::receive(const QByteArray& bytes)
{
    log(QStringLiteral("in %1").arg(transport::byteText(bytes)));
    const QList<QByteArray> replies = m_device.receive(bytes, m_clock.elapsed());
    logNotes();
    for (const QByteArray& reply : replies)
        schedule(reply);
}

void SimServer::lineClosed(const QString& why)
{
    log(why);
    m_readNotifier.setEnabled(false);
    m_device.discardPending();
    logNotes();
    m_outgoing.clear();
    m_sendTimer.stop();
    m_clientPoll.start();
}

void SimServer::checkForClient()
{
    if (!m_port.clientConnected())
        return;
    log(QStringLiteral("port opened"));
    m_clientPoll.stop();
    m_readNotifier.setEnabled(true);
}

void SimServer::schedule(QByteArray reply)
{
    if (m_options.silent) {
        log(QStringLiteral("silent, not sent%1").arg(transport::byteText(reply)));
        return;
    }
    if (m_options.badChecksum && reply.size() >= 2)
        reply.back() = char(~static_cast<unsigned char>(reply.back()));

    const qint64 now = m_clock.elapsed();
    qint64 due = now + m_options.delayMs;
    if (!m_outgoing.empty())
        due = qMax(due, m_outgoing.back().dueMs); // replies never overtake each other
    if (m_options.splitMs && reply.size() >= 2) {
        const qsizetype half = reply.size() / 2;
        m_outgoing.push_back({due, reply.first(half)});
        m_outgoing.push_back({due + *m_options.splitMs, reply.sliced(half)});
    } else {
        m_outgoing.push_back({due, reply});
    }
    if (!m_options.trailing.isEmpty())
        m_outgoing.push_back({m_outgoing.back().dueMs + m_options.trailingAfterMs, m_options.trailing});
    sendDue();
}

void SimServer::sendDue()
{
    const qint64 now = m_clock.elapsed();
    while (!m_outgoing.empty() && m_outgoing.front().dueMs <= now) {
        const QByteArray bytes = m_outgoing.front().bytes;
        m_outgoing.pop_front();
        transmit(bytes, QStringLiteral("out"));
    }
    if (!m_outgoing.empty())
        m_sendTimer.start(int(m_outgoing.front().dueMs - now));
}

void SimServer::transmit(const QByteArray& bytes, const QString& what)
{
    if (!m_port.clientConnected()) {
        log(QStringLiteral("%1, nobody on the port, not sent%2").arg(what, transport::byteText(bytes)));
        return;
    }
    const qsizetype written = m_port.write(bytes);
    log(QStringLiteral("%1%2").arg(what, transport::byteText(bytes)));
    if (written < bytes.size())
        log(QStringLiteral("line full, %1 of %2 bytes lost").arg(bytes.size() - written).arg(bytes.size()));
}

void SimServer::logNotes()
{
    for (const QString& note : m_device.takeNotes())
        log(note);
}

void SimServer::log(const QString& line)
{
    if (!m_options.verbose)
        return;
    std::fprintf(stderr, "%8lld ms  %s\n", static_cast<long long>(m_clock.elapsed()), line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace devsim
