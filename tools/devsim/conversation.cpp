#include "conversation.h"

#include "frametext.h"
#include "ptyport.h"
#include "simserver.h"

namespace devsim {

namespace {

// Frame text with "AA" where the controller address goes.
QList<QByteArray> bytesOf(const QStringList& texts, std::uint8_t address)
{
    const QString a = transport::hexByte(address);
    QList<QByteArray> out;
    for (QString text : texts)
        out << transport::lineBytesOfText(text.replace(QStringLiteral("AA"), a)).value_or(QByteArray());
    return out;
}

} // namespace

QList<QByteArray> conversationRound(Family family, std::uint8_t address)
{
    switch (family) {
    case Family::Dix:
        return bytesOf({
                           QStringLiteral("60 AA 81 *"),                         // status, hose 1
                           QStringLiteral("60 AA 11 * 01 13 55 55 55 55 55*"),   // activate
                           QStringLiteral("60 AA 11 * 01 01 00 00 00 12 34 *"),  // 12,34 litres
                           QStringLiteral("60 AA 81 *"),
                           QStringLiteral("60 AA 59*"),                          // price read
                           QStringLiteral("60 AA 71 *"),                         // totalisers
                           QStringLiteral("60 AA 00 * 30"),                      // version
                           QStringLiteral("31"),
                           QStringLiteral("60 AA 81 00"),                        // a bad checksum
                       },
                       address);
    case Family::Ql:
        return bytesOf({
                           QStringLiteral("60AA00*C0"), QStringLiteral("C8 000024 00"), // read IR 000024
                           QStringLiteral("60AA00*C0"), QStringLiteral("C9 000010 05"), // write IR 000010
                           QStringLiteral("60AA00*C0"), QStringLiteral("C8 000010 00"),
                           QStringLiteral("60AA00*C0"), QStringLiteral("CC 003000 00"), // read IF 003000
                       },
                       address);
    case Family::Erk:
        return bytesOf({
                           QStringLiteral("60 AA91*"), QStringLiteral("60 AA92*"), QStringLiteral("60 AA93*"),
                           QStringLiteral("60 AAA1*"), QStringLiteral("60 AAA2*"), QStringLiteral("60 AAA3*"),
                           QStringLiteral("60 AA81*"), QStringLiteral("60 AA82*"), QStringLiteral("60 AA83*"),
                           QStringLiteral("60 AA35*"),                   // voltage correction, phase 1
                           QStringLiteral("60 AA 31* 0064*"),            // written as 100
                           QStringLiteral("60 F0 45*"),                  // the meter's address
                       },
                       address);
    }
    return {};
}

Conversation::Conversation(PtyPort& station, SimServer& replies, const SimOptions& options, QObject* parent)
    : QObject(parent)
    , m_station(station)
    , m_replies(replies)
    , m_round(conversationRound(options.family, options.address.value_or(0x01)))
{
    m_timer.setInterval(options.conversationEveryMs);
    connect(&m_timer, &QTimer::timeout, this, &Conversation::next);
    m_timer.start();
}

void Conversation::next()
{
    const QByteArray request = m_round.at(m_next);
    m_next = (m_next + 1) % m_round.size();
    // Bytes for a station side nobody listens to would wait in its line and come out
    // late, all at once; the device answers them all the same.
    if (m_station.clientConnected())
        m_station.write(request);
    m_replies.receive(request);
}

} // namespace devsim
