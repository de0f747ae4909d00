#include "capturescript.h"

#include "frametext.h"
#include "transport.h"

#include <algorithm>

namespace testscript {

namespace {

using linecapture::CaptureItem;
using linecapture::RecordKind;
using linecapture::Side;

// "60 01 81 FB", as a frame is written in a script.
QString hexText(const std::vector<std::uint8_t>& bytes)
{
    return transport::byteText(bytes).mid(1);
}

QString secondsText(std::int64_t timeUs)
{
    return QStringLiteral("%1.%2").arg(timeUs / 1'000'000).arg(timeUs % 1'000'000, 6, 10, QLatin1Char('0'));
}

} // namespace

CaptureReplay::CaptureReplay(const linecapture::Capture& header)
    : frames_(header)
{
}

void CaptureReplay::feed(const linecapture::CaptureRecord& record, int fileLine, std::vector<ReplayLine>& lines)
{
    // The frames name the record they began with: here, its file line.
    linecapture::CaptureRecord numbered = record;
    numbered.index = std::size_t(fileLine);
    frames_.feed(numbered, ready_);
    take(lines);
}

void CaptureReplay::finish(std::vector<ReplayLine>& lines)
{
    frames_.finish(ready_);
    take(lines);
    close(lines);
}

void CaptureReplay::take(std::vector<ReplayLine>& lines)
{
    for (CaptureItem& item : ready_) {
        if (!item.event && item.side == Side::A) {
            close(lines);
            open_ = Exchange{std::move(item), 0, {}, false};
            continue;
        }
        // What B says before the station's first request answers nothing of ours.
        if (!open_)
            continue;
        if (!item.event) {
            if (open_->replyLine == 0)
                open_->replyLine = int(item.record);
            // Past what one window reads the reply is refused anyway; what a device
            // streamed for minutes is not kept to say so.
            const std::size_t room = std::size_t(transport::kReplyBufferSize) + 1 - std::min(open_->reply.size(), std::size_t(transport::kReplyBufferSize) + 1);
            open_->reply.insert(open_->reply.end(), item.bytes.begin(),
                                item.bytes.begin() + std::ptrdiff_t(std::min(room, item.bytes.size())));
        } else if (*item.event == RecordKind::Overrun || *item.event == RecordKind::LineError) {
            open_->damaged = true;
        }
    }
    ready_.clear();
}

void CaptureReplay::close(std::vector<ReplayLine>& lines)
{
    if (!open_)
        return;
    const Exchange& exchange = *open_;
    const int requestLine = int(exchange.request.record);
    const int replyLine = exchange.replyLine ? exchange.replyLine : requestLine;
    ++exchanges_;
    lines.push_back({QStringLiteral("case запрос %1 в %2 с").arg(exchanges_).arg(secondsText(exchange.request.timeUs)), requestLine});
    lines.push_back({QStringLiteral("send ") + hexText(exchange.request.bytes), requestLine});
    if (exchange.damaged)
        lines.push_back({QStringLiteral("expect ...  # ответ записан с потерей или ошибками байтов: не сравнивается"), replyLine});
    else if (exchange.reply.empty())
        lines.push_back({QStringLiteral("expect nothing"), replyLine});
    else
        lines.push_back({QStringLiteral("expect ") + hexText(exchange.reply), replyLine});
    open_.reset();
}

} // namespace testscript
