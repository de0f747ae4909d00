// The memory controller's two-stage exchange: the access preamble from A (named by
// rebuilding the memory mode's own preamble text), C0 from B, one area request from A
// (told apart by the areas' command codes), three bytes from B.

#include "memorydecoder.h"

#include "frametext.h"
#include "memoryarea.h"
#include "memoryframes.h"

#include <optional>
#include <utility>

namespace memory {

namespace {

using transport::hexByte;

constexpr std::size_t kPreambleSize = 5;
constexpr std::size_t kAreaRequestSize = 5;
constexpr std::size_t kAreaReplySize = 3;

struct AreaRequest {
    MemoryArea area;
    bool write;
    QString address; // six hex digits
    std::uint8_t value;

    QString name() const
    {
        const QString area = QString::fromLatin1(kMemoryAreas[this->area].label).chopped(1);
        return area + u' ' + address;
    }
};

std::optional<AreaRequest> areaRequestOf(std::span<const std::uint8_t> frame)
{
    if (frame.size() != kAreaRequestSize)
        return std::nullopt;
    const QString code = hexByte(frame[0]);
    for (int a = 0; a < MemoryAreaCount; ++a) {
        const auto area = static_cast<MemoryArea>(a);
        if (code == readCode(area) || code == writeCode(area))
            return AreaRequest{area, code == writeCode(area), hexByte(frame[1]) + hexByte(frame[2]) + hexByte(frame[3]),
                               frame[4]};
    }
    return std::nullopt;
}

class MemoryDecoder : public linecapture::FrameDecoder {
protected:
    QString describeRequest(std::span<const std::uint8_t> frame) override
    {
        awaited_ = Awaited::Nothing;
        if (frame.size() == kPreambleSize && frame[0] == 0x60) {
            if (linecapture::sameFrameBytes(preambleText(hexByte(frame[1])), frame)) {
                awaited_ = Awaited::Acknowledge;
                return QStringLiteral("доступ к памяти, адрес %1").arg(hexByte(frame[1]));
            }
        }
        if (const std::optional<AreaRequest> request = areaRequestOf(frame)) {
            request_ = *request;
            awaited_ = Awaited::AreaReply;
            if (request->write)
                return QStringLiteral("запись %1 := %2").arg(request->name(), hexByte(request->value));
            return QStringLiteral("чтение ") + request->name();
        }
        if (!frame.empty() && frame[0] == 0x60) {
            if (const std::optional<QString> problem = linecapture::headerProblem(frame))
                return *problem;
            return QStringLiteral("неизвестный кадр: доступ к памяти — это заголовок с кодом 00 и C0");
        }
        if (frame.size() == kAreaRequestSize)
            return QStringLiteral("неизвестный код %1: не чтение и не запись области").arg(hexByte(frame[0]));
        return QStringLiteral("неизвестный кадр: не доступ к памяти и не запрос области (5 байт)");
    }

    QString describeReply(std::span<const std::uint8_t> frame) override
    {
        const Awaited awaited = std::exchange(awaited_, Awaited::Nothing);
        if (frame.size() == 1 && frame[0] == kAccessAcknowledge)
            return awaited == Awaited::Acknowledge ? QStringLiteral("доступ разрешён (C0)")
                                                   : QStringLiteral("C0 без запроса доступа");
        if (frame.size() == kAreaReplySize && awaited == Awaited::AreaReply) {
            if (request_.write)
                return QStringLiteral("ответ на запись %1 (не проверяется)").arg(request_.name());
            if (frame[2] == kErrorReply)
                return QStringLiteral("%1: ошибка (FF)").arg(request_.name());
            return QStringLiteral("%1 = %2").arg(request_.name(), hexByte(frame[1]));
        }
        switch (awaited) {
        case Awaited::Acknowledge:
            return QStringLiteral("неожиданный ответ: ждали C0");
        case Awaited::AreaReply:
            return QStringLiteral("неожиданный ответ: ждали 3 байта");
        case Awaited::Nothing:
            break;
        }
        return QStringLiteral("ответ без запроса");
    }

private:
    enum class Awaited { Nothing, Acknowledge, AreaReply };

    Awaited awaited_ = Awaited::Nothing;
    AreaRequest request_{};
};

} // namespace

std::unique_ptr<linecapture::FrameDecoder> makeMemoryDecoder()
{
    return std::make_unique<MemoryDecoder>();
}

} // namespace memory
