// The three-phase meter's frames: a request from A is named by rebuilding it with the
// meter mode's own request texts (reads, setting writes, indication, address); a reply
// from B goes through the meter's reply decoding with the code of the last read.

#include "meterdecoder.h"

#include "frametext.h"
#include "metercodes.h"
#include "meterreplies.h"
#include "metertexts.h"

namespace meter {

namespace {

using linecapture::checksumGoodText;
using linecapture::checksumProblem;
using linecapture::headerProblem;
using linecapture::sameFrameBytes;
using transport::hexByte;

constexpr std::size_t kReadSize = 4;
constexpr std::size_t kByteWriteSize = 6;  // header, one byte, its checksum
constexpr std::size_t kValueWriteSize = 7; // header, two bytes, their checksum
constexpr std::uint8_t kMeterAddressAddress = 0xF0;

class MeterDecoder : public linecapture::FrameDecoder {
protected:
    QString describeRequest(std::span<const std::uint8_t> frame) override
    {
        if (const std::optional<QString> problem = headerProblem(frame))
            return *problem;
        const QString address = hexByte(frame[1]);
        const std::uint8_t code = frame[2];
        const QString at = QStringLiteral(", адрес ") + address;

        if (frame.size() == kReadSize && sameFrameBytes(readRequestText(address, code), frame)) {
            // Every read, known or not, is what the next reply is decoded against.
            expectCmd_ = code;
            if (code == kReadAddressCode && frame[1] == kMeterAddressAddress)
                return QStringLiteral("чтение адреса счётчика");
            if (const std::optional<Quantity> quantity = quantityForCode(code))
                return QStringLiteral("чтение ") + quantityName(*quantity) + at;
            if (const std::optional<int> setting = settingForReadCode(code))
                return QStringLiteral("чтение: ") + settingTitle(*setting) + at;
            return QStringLiteral("неизвестный код чтения %1").arg(hexByte(code)) + at;
        }
        if (frame.size() == kValueWriteSize) {
            const auto value = static_cast<std::uint16_t>(frame[4] << 8 | frame[5]);
            for (int setting = 0; setting < kSettingCount; ++setting) {
                if (kSettings[std::size_t(setting)].readCode - 4 == code
                    && sameFrameBytes(settingWriteText(address, setting, value), frame))
                    return QStringLiteral("запись: %1 = %2").arg(settingTitle(setting)).arg(value) + at;
            }
        }
        if (frame.size() == kByteWriteSize) {
            if (code == kWriteIndicationCode && sameFrameBytes(indicationWriteText(address, frame[4]), frame))
                return QStringLiteral("индикация: маска %1").arg(hexByte(frame[4])) + at;
            if (code == kWriteAddressCode && sameFrameBytes(addressWriteText(address, hexByte(frame[4])), frame))
                return QStringLiteral("новый адрес счётчика %1").arg(hexByte(frame[4])) + at;
        }
        if (frame.size() > kReadSize) {
            if (const std::optional<QString> problem = checksumProblem(frame.subspan(kReadSize)))
                return QStringLiteral("данные: ") + *problem;
        }
        return QStringLiteral("неизвестный запрос: код %1, %2 байт").arg(hexByte(code)).arg(frame.size());
    }

    QString describeReply(std::span<const std::uint8_t> frame) override
    {
        if (frame.size() == 1) {
            const MeterReply decoded = decodeReply(frame, expectCmd_.value_or(0));
            if (!decoded.logLines.isEmpty())
                return QStringLiteral("ответ на запись: ") + decoded.logLines.join(QStringLiteral("; "));
            return QStringLiteral("неизвестный код ответа на запись %1").arg(hexByte(frame[0]));
        }
        if (const std::optional<QString> problem = checksumProblem(frame))
            return *problem;
        if (!expectCmd_)
            return QStringLiteral("ответ без известного запроса") + checksumGoodText();
        const MeterReply decoded = decodeReply(frame, *expectCmd_);
        if (decoded.reading) {
            const Reading& r = *decoded.reading;
            const QString value = r.value.isNumber() ? r.value.toText() : QStringLiteral("«%1»").arg(r.digits);
            return QStringLiteral("%1 = %2 %3").arg(quantityName(r.quantity), value, unitName(r.quantity))
                + checksumGoodText();
        }
        if (decoded.setting)
            return QStringLiteral("%1 = %2").arg(settingTitle(decoded.setting->setting)).arg(decoded.setting->value)
                + checksumGoodText();
        if (decoded.address)
            return QStringLiteral("адрес счётчика %1").arg(decoded.address->text) + checksumGoodText();
        if (!decoded.logLines.isEmpty())
            return decoded.logLines.join(QStringLiteral("; ")) + checksumGoodText();
        return QStringLiteral("ответ на код %1: такой ответ не описан").arg(hexByte(*expectCmd_)) + checksumGoodText();
    }

private:
    std::optional<std::uint8_t> expectCmd_;
};

} // namespace

std::unique_ptr<linecapture::FrameDecoder> makeMeterDecoder()
{
    return std::make_unique<MeterDecoder>();
}

} // namespace meter
