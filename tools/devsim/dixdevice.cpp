#include "dixdevice.h"

#include "bcd.h"
#include "codepage.h"

namespace devsim {

namespace {

constexpr qsizetype kDataFrameSize = 8;

constexpr std::uint64_t kTenDigits = 10'000'000'000ULL;
constexpr std::uint64_t kEightDigits = 100'000'000ULL;
constexpr std::uint64_t kSixDigits = 1'000'000ULL;

// Function codes of a control request's data frame.
enum Function : std::uint8_t {
    kDispenseVolume = 0x01,
    kValveOn = 0x02,
    kPassivate = 0x03,
    kContinue = 0x0A,
    kStop = 0x0B,
    kValveOff = 0x0D,
    kPause = 0x0E,
    kDispenseMoney = 0x11,
    kActivate = 0x13,
};

// Prices each hose starts with, in kopecks per litre: something to read before the
// operator writes one, and a price for orders by money.
constexpr std::array<unsigned, DixDevice::kHoseCount> kStartPrices{4567, 4890, 5210, 5530, 6100, 3990, 2500};

bool isLoadedHose(std::uint8_t digit) { return digit >= 1 && digit <= 7; }

// Requests followed by a data frame: every control request and the price write.
bool takesDataFrame(std::uint8_t command)
{
    const std::uint8_t group = command >> 4;
    return group == 0x1 || (group == 0x5 && isLoadedHose(command & 0x0F));
}

bool busy(DixDevice::State state)
{
    return state == DixDevice::State::Dispensing || state == DixDevice::State::Paused;
}

} // namespace

DixDevice::DixDevice(AddressMatch addresses, double litresPerSecond)
    : m_addresses(addresses), m_litresPerSecond(litresPerSecond)
{
    for (int i = 0; i < kHoseCount; ++i)
        m_hoses[std::size_t(i)].priceKopecks = kStartPrices[std::size_t(i)];
}

QByteArray DixDevice::versionText()
{
    // Box lines and Cyrillic on purpose: the console converts both from code page 866.
    const QString text = QStringLiteral(
        "════════════════════════════\r\n"
        "║ Контроллер ТРК, 7 рукавов\r\n"
        "║ Версия ПО 3.12, сборка 0417\r\n"
        "║ Протокол обмена 2.1\r\n"
        "════════════════════════════\r\n");
    return transport::encoded(transport::CodePage::Cp866, text);
}

SimDevice::Step DixDevice::parse(QByteArrayView pending, qint64 nowMs)
{
    const std::uint8_t first = byteAt(pending, 0);
    if (first == kVersionContinue && m_versionTextDue) {
        m_versionTextDue = false;
        return answer(pending.first(1), closeFrame(versionText()));
    }
    Header h;
    const auto startsFrame = [this](std::uint8_t b) {
        return b == kFrameStart || (b == kVersionContinue && m_versionTextDue);
    };
    if (const std::optional<Step> instead = takeRequestStart(pending, startsFrame, h))
        return *instead;
    const auto [address, command, header] = h;

    if (takesDataFrame(command)) {
        QByteArrayView request, data;
        if (const std::optional<Step> instead = takeDataFrame(pending, kDataFrameSize, request, data))
            return *instead;
        if (!m_addresses.accepts(address))
            return ignore(request, QStringLiteral("another address"));
        m_versionTextDue = false;
        const int hoseNumber = command & 0x0F;
        const std::uint8_t code = (command >> 4) == 0x1 ? controlRequest(hoseNumber, data, nowMs)
                                                        : priceWrite(hoseNumber, data);
        return answer(request, QByteArray(1, char(code)));
    }

    if (command == 0x00) {
        if (pending.size() < kHeaderSize + 1)
            return {};
        if (byteAt(pending, kHeaderSize) != kVersionStart)
            return drop(header, QStringLiteral("version request without its 30"));
        const QByteArrayView request = pending.first(kHeaderSize + 1);
        if (!m_addresses.accepts(address))
            return ignore(request, QStringLiteral("another address"));
        m_versionTextDue = true;
        return answer(request, QByteArray(1, char(kVersionReady)));
    }

    if (!m_addresses.accepts(address))
        return ignore(header, QStringLiteral("another address"));
    m_versionTextDue = false;
    return answer(header, headerOnlyRequest(address, command, nowMs));
}

QByteArray DixDevice::headerOnlyRequest(std::uint8_t address, std::uint8_t command, qint64 nowMs)
{
    const std::uint8_t group = command >> 4;
    const std::uint8_t low = command & 0x0F;
    const bool flagged = low >= 9; // hose + 8: the price read and the totaliser reset
    Hose* h = hoseAt(flagged ? low - 8 : low);
    if (!h || (group != 0x8 && group != 0x5 && group != 0x7) || (group == 0x8 && flagged))
        return QByteArray(1, char(kRejected));

    if (group == 0x8) {
        advance(*h, nowMs);
        QByteArray reply;
        reply.append(char(address)).append(char(command)).append('\0');
        reply.append(numberToBcd(h->delivered % kSixDigits, 3));
        reply.append(char(std::uint8_t(h->state) | (h->valveOpen ? kValveOpenFlag : 0)));
        return closeFrame(reply);
    }
    if (group == 0x5) { // flagged: a price write carries a data frame and never gets here
        QByteArray reply;
        reply.append(char(address)).append(char(command)).append('\0');
        reply.append(numberToBcd(h->priceKopecks, 2));
        reply.append(2, '\0');
        return closeFrame(reply);
    }
    advance(*h, nowMs);
    if (flagged) {
        if (busy(h->state))
            return QByteArray(1, char(kRejected));
        h->volumeA = h->volumeB = h->money = 0;
        return QByteArray(1, char(kDone));
    }
    QByteArray reply;
    reply.append(char(address));
    reply.append(numberToBcd(h->volumeA, 5));
    reply.append(numberToBcd(h->volumeB, 4));
    reply.append(numberToBcd(h->money, 4));
    reply.append('\0');
    return closeFrame(reply);
}

std::uint8_t DixDevice::controlRequest(int hoseNumber, QByteArrayView data, qint64 nowMs)
{
    Hose* h = hoseAt(hoseNumber);
    if (!h || byteAt(data, 0) != hoseNumber)
        return kRejected;
    advance(*h, nowMs);

    switch (byteAt(data, 1)) {
    case kActivate:
        if (busy(h->state))
            return kRejected;
        if (h->state != State::Active) {
            h->state = State::Active;
            h->ordered = h->delivered = h->paid = h->charged = 0;
        }
        return kDone;
    case kPassivate:
        if (h->state == State::Dispensing)
            return kRejected;
        h->state = State::Passive;
        return kDone;
    case kPause:
        if (h->state != State::Dispensing)
            return kRejected;
        h->state = State::Paused;
        h->deliveredBeforeRun = h->delivered;
        return kDone;
    case kContinue:
        if (h->state != State::Paused)
            return kRejected;
        h->state = State::Dispensing;
        h->deliveredBeforeRun = h->delivered;
        h->runStartMs = nowMs;
        return kDone;
    case kStop:
        if (!busy(h->state))
            return kRejected;
        h->state = State::Stopped;
        return kDone;
    case kValveOn:
    case kValveOff:
        h->valveOpen = byteAt(data, 1) == kValveOn;
        return kDone;
    case kDispenseVolume: {
        const auto hundredths = bcdToNumber(data.sliced(2, 5));
        if (!hundredths)
            return kRejected;
        return startDelivery(*h, *hundredths, 0, nowMs);
    }
    case kDispenseMoney: {
        const auto kopecks = bcdToNumber(data.sliced(2, 5));
        if (!kopecks || h->priceKopecks == 0)
            return kRejected;
        return startDelivery(*h, *kopecks * 100 / h->priceKopecks, *kopecks, nowMs);
    }
    default:
        return kRejected;
    }
}

std::uint8_t DixDevice::startDelivery(Hose& h, std::uint64_t hundredths, std::uint64_t paid, qint64 nowMs)
{
    if (h.state != State::Active || hundredths == 0)
        return kRejected;
    h.ordered = hundredths;
    h.paid = paid;
    h.delivered = h.charged = h.deliveredBeforeRun = 0;
    h.runStartMs = nowMs;
    h.state = State::Dispensing;
    advance(h, nowMs);
    return kDone;
}

std::uint8_t DixDevice::priceWrite(int hoseNumber, QByteArrayView data)
{
    Hose* h = hoseAt(hoseNumber);
    if (!h || byteAt(data, 0) != hoseNumber || busy(h->state))
        return kRejected;
    const auto price = bcdToNumber(data.sliced(3, 2));
    if (!price)
        return kRejected;
    h->priceKopecks = unsigned(*price);
    return kDone;
}

void DixDevice::advance(Hose& h, qint64 nowMs)
{
    if (h.state != State::Dispensing)
        return;
    std::uint64_t due = h.ordered;
    if (m_litresPerSecond > 0) {
        // litres per second is hundredths of a litre per ten milliseconds
        const double ran = double(nowMs - h.runStartMs) * m_litresPerSecond / 10.0;
        due = qMin(h.ordered, h.deliveredBeforeRun + std::uint64_t(qMax(0.0, ran)));
    }
    if (due == h.ordered)
        h.state = State::Finished;
    deliverUpTo(h, qMax(due, h.delivered));
}

void DixDevice::deliverUpTo(Hose& h, std::uint64_t delivered)
{
    const std::uint64_t added = delivered - h.delivered;
    h.delivered = delivered;
    h.volumeA = (h.volumeA + added) % kTenDigits;
    h.volumeB = (h.volumeB + added) % kEightDigits;
    // An order by money is charged exactly what was paid once it is complete; on the
    // way, and for orders by volume, the volume at the price, rounded to the kopeck.
    const std::uint64_t charged = h.paid && h.state == State::Finished
        ? h.paid
        : (h.delivered * h.priceKopecks + 50) / 100;
    h.money = (h.money + charged - h.charged) % kEightDigits;
    h.charged = charged;
}

DixDevice::Hose* DixDevice::hoseAt(int number)
{
    return number >= 1 && number <= kHoseCount ? &m_hoses[std::size_t(number - 1)] : nullptr;
}

} // namespace devsim
