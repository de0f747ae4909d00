// The dispenser controller's frames: a request from A is named by the request text the
// dispenser mode itself would compose for the same bytes, which also gives the reply it
// announces; a reply from B goes through the dispenser's reply decoding with that pair.

#include "dispenserdecoder.h"

#include "framedecoder.h"
#include "frametext.h"
#include "replydecoding.h"
#include "requesttexts.h"
#include "versiontext.h"

#include <QStringList>

#include <vector>

namespace dispenser {

namespace {

using linecapture::checksumGoodText;
using linecapture::checksumProblem;
using linecapture::headerProblem;
using transport::hexByte;

constexpr std::uint8_t kVersionContinuation = 0x31;
constexpr ExpectedReply kVersionPair{0x00, 0x30};

// The hex digits of bytes [first, first + count) run together.
QString digitsOf(std::span<const std::uint8_t> frame, std::size_t first, std::size_t count)
{
    QString text;
    for (std::size_t i = first; i < first + count && i < frame.size(); ++i)
        text += hexByte(frame[i]);
    return text;
}

// The requests a header's code can start, with the hose it names and the entry fields
// the data frame carries, as the dispenser mode would have had them.
struct Candidate {
    DispenserRequest request;
    int hose;
    RequestInputs inputs;
};

// Data frame after the header: hose, function code, five data bytes, checksum.
constexpr std::size_t kDataStart = 4;
constexpr std::size_t kFunctionAt = kDataStart + 1;
constexpr std::size_t kDataBytesAt = kDataStart + 3; // the four bytes of a number
constexpr std::size_t kWithDataSize = kDataStart + 8;

std::vector<Candidate> candidatesFor(std::span<const std::uint8_t> frame)
{
    const std::uint8_t code = frame[2];
    const int group = code >> 4;
    const int low = code & 0x0F;
    // The hose flag (hose + 8) of the price read and the totaliser reset.
    const bool flagged = low >= 9;
    const int hose = flagged ? low - 8 : low;
    const bool withData = frame.size() >= kWithDataSize;
    const QString numberDigits = withData ? digitsOf(frame, kDataBytesAt, 4) : QString();

    std::vector<Candidate> out;
    const auto add = [&](DispenserRequest request, int forHose) {
        out.push_back({request, forHose, {}});
        return &out.back().inputs;
    };
    switch (group) {
    case 0x8:
        add(DispenserRequest::Status, hose);
        break;
    case 0x1:
        if (withData && frame[kFunctionAt] == 0x01) {
            // "000012,34" and the third decimal, which is never sent.
            add(DispenserRequest::DispenseVolume, hose)->litri = numberDigits.left(6) + u',' + numberDigits.mid(6, 2) + u'0';
        } else if (withData && frame[kFunctionAt] == 0x11) {
            add(DispenserRequest::DispenseMoney, hose)->Stoimost =
                numberDigits.mid(1, 5) + u',' + numberDigits.mid(6, 2) + QStringLiteral(" р.");
        } else {
            for (DispenserRequest control : {DispenserRequest::Activate, DispenserRequest::Passivate, DispenserRequest::Pause,
                                             DispenserRequest::Continue, DispenserRequest::Stop, DispenserRequest::ValveOn,
                                             DispenserRequest::ValveOff})
                add(control, hose);
        }
        break;
    case 0x5:
        if (flagged)
            add(DispenserRequest::PriceRead, hose);
        else if (withData)
            add(DispenserRequest::PriceWrite, hose)->stoimlitr =
                hexByte(frame[kDataBytesAt]) + u',' + hexByte(frame[kDataBytesAt + 1]) + QStringLiteral(" р.");
        break;
    case 0x7:
        add(flagged ? DispenserRequest::TotaliserReset : DispenserRequest::TotaliserRead, hose);
        break;
    case 0x0:
        if (code == 0x00)
            add(DispenserRequest::Version, 1);
        break;
    default:
        break;
    }
    for (Candidate& c : out) {
        c.inputs.address = hexByte(frame[1]);
        c.inputs.hose = QString::number(c.hose, 16).toUpper();
    }
    return out;
}

QString requestName(DispenserRequest request, const RequestInputs& in)
{
    switch (request) {
    case DispenserRequest::Status: return QStringLiteral("запрос статуса");
    case DispenserRequest::Activate: return QStringLiteral("активировать");
    case DispenserRequest::Passivate: return QStringLiteral("пассивизировать");
    case DispenserRequest::Pause: return QStringLiteral("приостановить");
    case DispenserRequest::Continue: return QStringLiteral("продолжить");
    case DispenserRequest::Stop: return QStringLiteral("остановить");
    case DispenserRequest::ValveOn: return QStringLiteral("включить клапан");
    case DispenserRequest::ValveOff: return QStringLiteral("выключить клапан");
    case DispenserRequest::DispenseVolume: return QStringLiteral("отпуск (литры) %1 л").arg(in.litri.left(9));
    case DispenserRequest::DispenseMoney: return QStringLiteral("отпуск (сумма) %1").arg(in.Stoimost);
    case DispenserRequest::PriceWrite: return QStringLiteral("задать стоимость 1 литра %1").arg(in.stoimlitr);
    case DispenserRequest::PriceRead: return QStringLiteral("считать стоимость 1 литра");
    case DispenserRequest::TotaliserRead: return QStringLiteral("считать суммарники");
    case DispenserRequest::TotaliserReset: return QStringLiteral("обнулить суммарники");
    case DispenserRequest::Version: return QStringLiteral("версия");
    }
    return QString();
}

class DispenserDecoder : public linecapture::FrameDecoder {
protected:
    QString describeRequest(std::span<const std::uint8_t> frame) override
    {
        if (frame.size() == 1 && frame[0] == kVersionContinuation) {
            // The console's answer to the first byte of the version: the pair stays.
            if (expected_ && expected_->cmd == kVersionPair.cmd && expected_->sub == kVersionPair.sub)
                return QStringLiteral("версия: продолжить (31)");
            return QStringLiteral("31 без запроса версии");
        }
        expected_.reset();
        requestName_.clear();
        if (const std::optional<QString> problem = headerProblem(frame))
            return *problem;

        for (const Candidate& c : candidatesFor(frame)) {
            const PreparedRequest prepared = prepareRequest(c.request, c.inputs);
            if (!prepared.refusal.isEmpty())
                continue;
            if (!linecapture::sameFrameBytes(prepared.text, frame))
                continue;
            expected_ = ExpectedReply{prepared.expectCmd, prepared.expectSub};
            requestName_ = requestName(c.request, c.inputs);
            QString text = requestName_ + QStringLiteral(", адрес ") + c.inputs.address;
            if (c.request != DispenserRequest::Version)
                text += QStringLiteral(", рукав ") + c.inputs.hose;
            return text;
        }
        // A header the controller knows, whose data frame is not a request of it.
        if (frame.size() > 4) {
            if (const std::optional<QString> problem = checksumProblem(frame.subspan(4)))
                return QStringLiteral("данные: ") + *problem;
        }
        return QStringLiteral("неизвестный запрос: код %1, %2 байт").arg(hexByte(frame[2])).arg(frame.size());
    }

    QString describeReply(std::span<const std::uint8_t> frame) override
    {
        const bool version = expected_ && expected_->cmd == kVersionPair.cmd && expected_->sub == kVersionPair.sub;
        if (version) {
            if (frame.size() == 1)
                return QStringLiteral("версия: первый ответ %1").arg(hexByte(frame[0]));
            // The text's last byte closes it; no checksum is tested.
            return QStringLiteral("текст версии: ") + versionTextLines(frame.first(frame.size() - 1)).join(QStringLiteral(" | "));
        }
        if (frame.size() == 1) {
            const std::optional<QString> meaning = acknowledgementMeaning(frame[0]);
            if (!meaning)
                return QStringLiteral("неизвестный код подтверждения %1").arg(hexByte(frame[0]));
            return meaning->isEmpty() ? QStringLiteral("подтверждение %1").arg(hexByte(frame[0]))
                                      : QStringLiteral("подтверждение: ") + *meaning;
        }
        if (const std::optional<QString> problem = checksumProblem(frame))
            return *problem;
        if (!expected_)
            return QStringLiteral("ответ без известного запроса") + checksumGoodText();

        const DispenserReply decoded = decodeDispenserReply(frame, *expected_, QString(), false);
        if (decoded.status)
            return QStringLiteral("статус: данные %1, состояние %2").arg(decoded.status->Danstat, decoded.status->StatSost)
                + checksumGoodText();
        if (decoded.pricePerLitre)
            return QStringLiteral("стоимость 1 литра %1").arg(*decoded.pricePerLitre) + checksumGoodText();
        if (decoded.totalisers)
            return QStringLiteral("суммарники: фискальный литровый %1, нефискальный литровый %2, нефискальный денежный %3")
                       .arg(decoded.totalisers->NeflitrSum, decoded.totalisers->flitrSum, decoded.totalisers->NefDenSum)
                + checksumGoodText();
        return QStringLiteral("ответ на «%1», %2 байт: такой ответ не описан").arg(requestName_).arg(frame.size())
            + checksumGoodText();
    }

private:
    std::optional<ExpectedReply> expected_;
    QString requestName_;
};

} // namespace

std::unique_ptr<linecapture::FrameDecoder> makeDispenserDecoder()
{
    return std::make_unique<DispenserDecoder>();
}

} // namespace dispenser
