#include "capturescript.h"

#include "capturefile.h"
#include "frametext.h"
#include "scriptparser.h"
#include "transport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

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

bool looksLikeCapture(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    return linecapture::captureFirstLine(file.peek(64)) == linecapture::FirstLine::Capture;
}

CaptureReplay::CaptureReplay(const linecapture::Capture& header, const ReplayWindows& windows)
    : frames_(header)
    , windows_(windows)
    , lastWindow_(windows.lineWindowMs)
{
}

int CaptureReplay::windowOf(const Exchange& exchange) const
{
    if (windows_.windowMs)
        return *windows_.windowMs;
    const double ms = exchange.reply.empty() ? 0 : 1.5 * double(exchange.replyDoneUs) / 1000 + 100;
    return std::clamp(std::max(windows_.lineWindowMs, int(std::ceil(ms))), 1, kLongestWindowMs);
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
            open_ = Exchange{std::move(item), 0, {}, false, 0};
            continue;
        }
        // What B says before the station's first request answers nothing of ours.
        if (!open_)
            continue;
        if (!item.event) {
            if (open_->replyLine == 0)
                open_->replyLine = int(item.record);
            // A frame's time is when its first chunk came; its last byte is a character
            // time per byte later, at the speed side B listened with.
            const double characterUs = frames_.lineFormat(Side::B).characterUs();
            open_->replyDoneUs = std::max(open_->replyDoneUs,
                                          item.timeUs - open_->request.timeUs
                                              + std::int64_t(std::ceil(double(item.bytes.size()) * characterUs)));
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
    // A window is written where it changes; until then the line's own holds.
    if (const int window = windowOf(exchange); window != lastWindow_) {
        lines.push_back({QStringLiteral("window %1").arg(window), requestLine});
        lastWindow_ = window;
    }
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
