#pragma once
// Runs a simulated device on the pseudo-terminal: takes the bytes the console
// writes, hands them to the device, and sends its replies back, delayed, split,
// corrupted or not at all as the options say.

#include "simoptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>

namespace devsim {

class PtyPort;
class SimDevice;

class SimServer : public QObject {
    Q_OBJECT
public:
    SimServer(PtyPort& port, SimDevice& device, const SimOptions& options, QObject* parent = nullptr);

    // Bytes for the device that came another way than its terminal (the station's side of
    // a conversation): handled as if read there.
    void receive(const QByteArray& bytes);

private:
    struct Outgoing {
        qint64 dueMs;
        QByteArray bytes;
    };

    void readAvailable();
    void lineClosed(const QString& why);
    void checkForClient();
    void schedule(QByteArray reply);
    void sendDue();
    void transmit(const QByteArray& bytes, const QString& what);
    void logNotes();
    void log(const QString& line);

    PtyPort& m_port;
    SimDevice& m_device;
    SimOptions m_options;
    QElapsedTimer m_clock;
    QSocketNotifier m_readNotifier;
    QTimer m_clientPoll;
    QTimer m_sendTimer;
    QTimer m_unsolicitedTimer;
    std::deque<Outgoing> m_outgoing;
};

} // namespace devsim
