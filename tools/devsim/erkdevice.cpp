#include "erkdevice.h"

#include <QString>

namespace devsim {

namespace {


// What the meter measures before corrections, per phase.
constexpr std::array<std::uint32_t, 3> kRawVoltage{22051, 22130, 21987}; // hundredths of a volt
constexpr std::array<std::uint32_t, 3> kRawCurrent{5120, 4870, 5030};    // thousandths of an ampere

// The setting codes: the group in the high half (0 lower voltage limit, 1 upper
// voltage limit, 2 current correction, 3 voltage correction, 5 upper current
// limit), the phase in the low half, plus 4 for a read.
bool isSettingGroup(std::uint8_t code)
{
    const std::uint8_t group = code >> 4;
    return group == 0x0 || group == 0x1 || group == 0x2 || group == 0x3 || group == 0x5;
}
int settingPhase(std::uint8_t code) { return (code & 0x0F) > 4 ? (code & 0x0F) - 4 : code & 0x0F; }
bool isSettingWrite(std::uint8_t code) { return isSettingGroup(code) && (code & 0x0F) >= 1 && (code & 0x0F) <= 3; }
bool isSettingRead(std::uint8_t code) { return isSettingGroup(code) && (code & 0x0F) >= 5 && (code & 0x0F) <= 7; }

// Bytes of data that follow the header of a write; 0 for a read.
qsizetype writeDataSize(std::uint8_t code)
{
    if (isSettingWrite(code))
        return 2;
    if (code == ErkDevice::kWriteIndication || code == ErkDevice::kWriteAddress)
        return 1;
    return 0;
}

// A reading as the meter's display shows it: six characters.
QByteArray readingText(std::uint32_t value, int decimals)
{
    std::uint32_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const int wholeWidth = decimals ? 5 - decimals : 6;
    std::uint32_t ceiling = scale;
    for (int i = 0; i < wholeWidth; ++i)
        ceiling *= 10;
    value = qMin(value, ceiling - 1);
    QString text = QString::number(value / scale).rightJustified(wholeWidth, u' ');
    if (decimals)
        text += u'.' + QString::number(value % scale).rightJustified(decimals, u'0');
    return text.toLatin1();
}

} // namespace

ErkDevice::ErkDevice(std::uint8_t address, bool refuseWrites) : m_address(address), m_refuseWrites(refuseWrites) {}

std::uint32_t ErkDevice::voltage(int number) const
{
    const auto i = std::size_t(number - 1);
    return kRawVoltage.at(i) * m_phases.at(i).voltageCorrection / 100;
}

std::uint32_t ErkDevice::current(int number) const
{
    const auto i = std::size_t(number - 1);
    return kRawCurrent.at(i) * m_phases.at(i).currentCorrection / 100;
}

std::uint32_t ErkDevice::power(int number) const
{
    return std::uint32_t((std::uint64_t(voltage(number)) * current(number) + 50'000) / 100'000);
}

SimDevice::Step ErkDevice::parse(QByteArrayView pending, qint64)
{
    Header h;
    if (const std::optional<Step> instead = takeRequestStart(pending, [](std::uint8_t b) { return b == kFrameStart; }, h))
        return *instead;
    const auto [address, code, header] = h;

    if (const qsizetype dataSize = writeDataSize(code)) {
        QByteArrayView request, data;
        if (const std::optional<Step> instead = takeDataFrame(pending, dataSize + 1, request, data))
            return *instead;
        if (address != m_address)
            return ignore(request, QStringLiteral("another address"));
        return answer(request, QByteArray(1, char(writeRequest(code, data.first(dataSize)))));
    }

    const bool addressed = address == m_address || (address == kAnyMeter && code == kReadAddress);
    if (!addressed)
        return ignore(header, QStringLiteral("another address"));
    const QByteArray reply = readRequest(code);
    if (reply.isEmpty())
        return ignore(header, QStringLiteral("unknown code"));
    return answer(header, reply);
}

QByteArray ErkDevice::readRequest(std::uint8_t code)
{
    if (code == kReadAddress)
        return closeFrame(QByteArray(1, char(code)).append(char(m_address)));
    if (isSettingRead(code)) {
        const std::uint16_t value = *setting(code);
        return closeFrame(QByteArray(1, char(value >> 8)).append(char(value & 0xFF)));
    }
    const QByteArray text = reading(code);
    if (text.isEmpty())
        return {};
    return closeFrame(QByteArray(1, char(code)).append(text));
}

QByteArray ErkDevice::reading(std::uint8_t code) const
{
    const int phaseNumber = code & 0x0F;
    const std::uint8_t group = code >> 4;
    if (phaseNumber < 1 || phaseNumber > 3 || (group != 0x9 && group != 0xA && group != 0x8))
        return {};
    return group == 0x9 ? readingText(voltage(phaseNumber), 2)
        : group == 0xA  ? readingText(current(phaseNumber), 3)
                        : readingText(power(phaseNumber), 0);
}

std::uint8_t ErkDevice::writeRequest(std::uint8_t code, QByteArrayView data)
{
    if (m_refuseWrites)
        return kProgrammingError;
    if (code == kWriteIndication) {
        m_indication = byteAt(data, 0);
        return kWritten;
    }
    if (code == kWriteAddress) {
        const std::uint8_t next = byteAt(data, 0);
        if (next < 0x01 || next > 0x7F)
            return kProgrammingError;
        m_address = next;
        return kWritten;
    }
    const std::uint16_t value = std::uint16_t(byteAt(data, 0) << 8 | byteAt(data, 1));
    Phase& p = m_phases.at(std::size_t(settingPhase(code) - 1));
    // Limits that would cross each other are refused, as the meter could never
    // satisfy them.
    if ((code >> 4) == 0x0 && value > p.voltageHigh)
        return kProgrammingError;
    if ((code >> 4) == 0x1 && value < p.voltageLow)
        return kProgrammingError;
    *setting(code) = value;
    return kWritten;
}

std::uint16_t* ErkDevice::setting(std::uint8_t code)
{
    Phase& p = m_phases.at(std::size_t(settingPhase(code) - 1));
    switch (code >> 4) {
    case 0x0: return &p.voltageLow;
    case 0x1: return &p.voltageHigh;
    case 0x2: return &p.currentCorrection;
    case 0x3: return &p.voltageCorrection;
    default: return &p.currentHigh;
    }
}

} // namespace devsim
