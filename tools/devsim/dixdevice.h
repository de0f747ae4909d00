#pragma once
// The dispenser controller: up to seven hoses, each with a price per litre, three
// totalisers and a delivery state; status, control, dispensing, price and totaliser
// requests, and the two-step version exchange.

#include "framing.h"
#include "simdevice.h"

#include <array>
#include <cstdint>

namespace devsim {

class DixDevice : public SimDevice {
public:
    // Delivery state, the status code byte of a status reply (with kValveOpenFlag).
    enum class State : std::uint8_t {
        Passive = 0x00,    // not authorised
        Active = 0x01,     // authorised, waiting for a dispensing order
        Dispensing = 0x02,
        Paused = 0x03,
        Finished = 0x04,   // the ordered amount is delivered
        Stopped = 0x05,    // stopped before the ordered amount
    };
    static constexpr std::uint8_t kValveOpenFlag = 0x10;

    static constexpr std::uint8_t kDone = 0x00;
    static constexpr std::uint8_t kRejected = 0xFF;
    static constexpr std::uint8_t kVersionReady = 0x06;
    static constexpr std::uint8_t kVersionStart = 0x30;
    static constexpr std::uint8_t kVersionContinue = 0x31;

    static constexpr int kHoseCount = 7;

    struct Hose {
        unsigned priceKopecks = 0;   // per litre, 0..9999
        std::uint64_t volumeA = 0;   // hundredths of a litre, ten digits
        std::uint64_t volumeB = 0;   // hundredths of a litre, eight digits
        std::uint64_t money = 0;     // kopecks, eight digits
        State state = State::Passive;
        bool valveOpen = false;
        std::uint64_t ordered = 0;   // hundredths of a litre of the current order
        std::uint64_t delivered = 0; // hundredths of a litre delivered on it
        std::uint64_t paid = 0;      // kopecks ordered, 0 for an order by volume
        std::uint64_t charged = 0;   // kopecks of this order already on the totaliser
        std::uint64_t deliveredBeforeRun = 0;
        qint64 runStartMs = 0;
    };

    // litresPerSecond 0 delivers every order at once; a positive flow delivers it
    // over time, so pause, continue and stop have something to act on.
    explicit DixDevice(AddressMatch addresses = {}, double litresPerSecond = 0);

    const Hose& hose(int number) const { return m_hoses.at(std::size_t(number - 1)); }

    // The version text in code page 866, lines ended by CR LF, without the byte
    // that closes the reply.
    static QByteArray versionText();

protected:
    Step parse(QByteArrayView pending, qint64 nowMs) override;

private:
    QByteArray headerOnlyRequest(std::uint8_t address, std::uint8_t command, qint64 nowMs);
    std::uint8_t controlRequest(int hoseNumber, QByteArrayView data, qint64 nowMs);
    std::uint8_t priceWrite(int hoseNumber, QByteArrayView data);
    std::uint8_t startDelivery(Hose& h, std::uint64_t hundredths, std::uint64_t paid, qint64 nowMs);
    void advance(Hose& h, qint64 nowMs);
    void deliverUpTo(Hose& h, std::uint64_t delivered);
    Hose* hoseAt(int number);

    AddressMatch m_addresses;
    double m_litresPerSecond;
    std::array<Hose, kHoseCount> m_hoses;
    bool m_versionTextDue = false;
};

} // namespace devsim
