#pragma once
// Both sides of a conversation, for the console's line monitor: the station's requests
// go out on one pseudo-terminal, one every so often from a built-in round of the
// family's requests, and the simulated device's replies on the other, as two taps on a
// real line would hear them. Nothing is read from either side.

#include "simoptions.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

namespace devsim {

class PtyPort;
class SimServer;

// The requests a station sends in one round, as bytes, for the controller at `address`.
QList<QByteArray> conversationRound(Family family, std::uint8_t address);

class Conversation : public QObject {
    Q_OBJECT
public:
    // `replies` answers on the device's terminal; `station` is the other terminal.
    Conversation(PtyPort& station, SimServer& replies, const SimOptions& options, QObject* parent = nullptr);

private:
    void next();

    PtyPort& m_station;
    SimServer& m_replies;
    QList<QByteArray> m_round;
    qsizetype m_next = 0;
    QTimer m_timer;
};

} // namespace devsim
