// The three-phase meter's frames: a request from A is named by rebuilding it with the
// meter mode's own request texts (reads, setting writes, indication, address); a reply
// from B goes through the meter's reply decoding with the code of the last read.

#include "framedecoder.h"

#include "frametext.h"
#include "metercodes.h"
#include "meterreplies.h"
#include "metertexts.h"

#include <algorithm>

namespace monitor {

namespace {

using transport::hexByte;

constexpr std::size_t kReadSize = 4;
constexpr std::size_t kByteWriteSize = 6;  // header, one byte, its checksum
constexpr std::size_t kValueWriteSize = 7; // header, two bytes, their checksum
constexpr std::uint8_t kMeterAddressAddress = 0xF0;

bool sameBytes(const QString& text, std::span<const std::uint8_t> frame)
{
    const std::optional<QByteArray> bytes = transport::lineBytesOfText(text);
    return bytes && std::ranges::equal(*bytes, frame, [](char x, std::uint8_t y) { return std::uint8_t(x) == y; });
}

class MeterDecoder : public FrameDecoder {
public:
    QString describe(Side side, std::span<const std::uint8_t> frame) override
    {
        return side == Side::A ? request(frame) : reply(frame);
    }

private:
    QString request(std::span<const std::uint8_t> frame)
    {
        if (const std::optional<QString> problem = headerProblem(frame))
            return *problem;
        const QString address = hexByte(frame[1]);
        const std::uint8_t code = frame[2];
        const QString at = QStringLiteral(", адрес ") + address;

        if (frame.size() == kReadSize && sameBytes(meter::readRequestText(address, code), frame)) {
            // Every read, known or not, is what the next reply is decoded against.
            expectCmd_ = code;
            if (code == meter::kReadAddressCode && frame[1] == kMeterAddressAddress)
                return QStringLiteral("чтение адреса счётчика");
            if (const std::optional<meter::Quantity> quantity = meter::quantityForCode(code))
                return QStringLiteral("чтение ") + meter::quantityName(*quantity) + at;
            if (const std::optional<int> setting = meter::settingForReadCode(code))
                return QStringLiteral("чтение: ") + meter::settingTitle(*setting) + at;
            return QStringLiteral("неизвестный код чтения %1").arg(hexByte(code)) + at;
        }
        if (frame.size() == kValueWriteSize) {
            const auto value = static_cast<std::uint16_t>(frame[4] << 8 | frame[5]);
            for (int setting = 0; setting < meter::kSettingCount; ++setting) {
                if (meter::kSettings[std::size_t(setting)].readCode - 4 == code
                    && sameBytes(meter::settingWriteText(address, setting, value), frame))
                    return QStringLiteral("запись: %1 = %2").arg(meter::settingTitle(setting)).arg(value) + at;
            }
        }
        if (frame.size() == kByteWriteSize) {
            if (code == meter::kWriteIndicationCode && sameBytes(meter::indicationWriteText(address, frame[4]), frame))
                return QStringLiteral("индикация: маска %1").arg(hexByte(frame[4])) + at;
            if (code == meter::kWriteAddressCode && sameBytes(meter::addressWriteText(address, hexByte(frame[4])), frame))
                return QStringLiteral("новый адрес счётчика %1").arg(hexByte(frame[4])) + at;
        }
        if (frame.size() > kReadSize) {
            if (const std::optional<QString> problem = checksumProblem(frame.subspan(kReadSize)))
                return QStringLiteral("данные: ") + *problem;
        }
        return QStringLiteral("неизвестный запрос: код %1, %2 байт").arg(hexByte(code)).arg(frame.size());
    }

    QString reply(std::span<const std::uint8_t> frame)
    {
        if (frame.size() == 1) {
            const meter::MeterReply decoded = meter::decodeReply(frame, expectCmd_.value_or(0));
            if (!decoded.logLines.isEmpty())
                return QStringLiteral("ответ на запись: ") + decoded.logLines.join(QStringLiteral("; "));
            return QStringLiteral("неизвестный код ответа на запись %1").arg(hexByte(frame[0]));
        }
        if (const std::optional<QString> problem = checksumProblem(frame))
            return *problem;
        if (!expectCmd_)
            return QStringLiteral("ответ без известного запроса") + checksumGoodText();
        const meter::MeterReply decoded = meter::decodeReply(frame, *expectCmd_);
        if (decoded.reading) {
            const meter::Reading& r = *decoded.reading;
            const QString value = r.value.isNumber() ? r.value.toText() : QStringLiteral("«%1»").arg(r.digits);
            return QStringLiteral("%1 = %2 %3").arg(meter::quantityName(r.quantity), value, meter::unitName(r.quantity))
                + checksumGoodText();
        }
        if (decoded.setting)
            return QStringLiteral("%1 = %2").arg(meter::settingTitle(decoded.setting->setting)).arg(decoded.setting->value)
                + checksumGoodText();
        if (decoded.address)
            return QStringLiteral("адрес счётчика %1").arg(decoded.address->text) + checksumGoodText();
        if (!decoded.logLines.isEmpty())
            return decoded.logLines.join(QStringLiteral("; ")) + checksumGoodText();
        return QStringLiteral("ответ на код %1: такой ответ не описан").arg(hexByte(*expectCmd_)) + checksumGoodText();
    }

    std::optional<std::uint8_t> expectCmd_;
};

} // namespace

std::unique_ptr<FrameDecoder> makeMeterDecoder()
{
    return std::make_unique<MeterDecoder>();
}

} // namespace monitor
