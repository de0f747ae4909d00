#include "captureframes.h"

#include <algorithm>
#include <tuple>

namespace linecapture {

CaptureFrames::CaptureFrames(const Capture& header)
    : gapCharacters_(header.gapCharacters)
{
    // Until a tap says otherwise, the line the console itself starts with.
    applyFormat(Side::A);
    applyFormat(Side::B);
}

void CaptureFrames::applyFormat(Side side)
{
    const std::size_t i = std::size_t(sideIndex(side));
    cutters_[i].setTiming(formats_[i].characterUs(), gapCharacters_);
}

void CaptureFrames::feed(const CaptureRecord& record, std::vector<CaptureItem>& ready)
{
    // What the clock would have ended by now is ended first.
    closeQuiet(record.timeUs, ready);
    FrameCutter& cutter = cutters_[std::size_t(sideIndex(record.side))];
    if (record.kind == RecordKind::Bytes) {
        cutter.feed(record.timeUs, record.bytes, record.index, cut_);
        takeFrames();
    } else {
        // An event ends the frame before it: bytes were lost, the line changed or went.
        if (record.kind != RecordKind::Note) {
            cutter.close(cut_);
            takeFrames();
        }
        if (record.kind == RecordKind::Settings) {
            if (const std::optional<LineFormat> format = lineFormatFromText(record.text)) {
                formats_[std::size_t(sideIndex(record.side))] = *format;
                applyFormat(record.side);
            }
        }
        push({record.side, record.timeUs, {}, record.kind, record.text, cutter.gapUs(), record.index});
    }
    release(ready);
}

void CaptureFrames::closeQuiet(std::int64_t nowUs, std::vector<CaptureItem>& ready)
{
    for (FrameCutter& cutter : cutters_)
        cutter.closeIfQuiet(nowUs, cut_);
    takeFrames();
    release(ready);
}

void CaptureFrames::finish(std::vector<CaptureItem>& ready)
{
    for (FrameCutter& cutter : cutters_)
        cutter.close(cut_);
    takeFrames();
    release(ready);
}

std::optional<std::int64_t> CaptureFrames::nextQuietAt() const
{
    std::optional<std::int64_t> earliest;
    for (const FrameCutter& cutter : cutters_)
        if (const std::optional<std::int64_t> at = cutter.quietAt(); at && (!earliest || *at < *earliest))
            earliest = at;
    return earliest;
}

void CaptureFrames::takeFrames()
{
    for (CutFrame& frame : cut_)
        push({frame.side, frame.startUs, std::move(frame.bytes), std::nullopt, QString(), 0, frame.firstRecord});
    cut_.clear();
}

void CaptureFrames::push(CaptureItem item)
{
    Waiting waiting{std::move(item), sequence_++};
    const auto before = [](const Waiting& a, const Waiting& b) {
        return std::tie(a.item.timeUs, a.item.side, a.sequence) < std::tie(b.item.timeUs, b.item.side, b.sequence);
    };
    waiting_.insert(std::upper_bound(waiting_.begin(), waiting_.end(), waiting, before), std::move(waiting));
}

void CaptureFrames::release(std::vector<CaptureItem>& ready)
{
    // A frame still open started before anything waiting from that time on.
    std::optional<std::int64_t> openSince;
    for (const FrameCutter& cutter : cutters_)
        if (const std::optional<std::int64_t> since = cutter.openSince(); since && (!openSince || *since < *openSince))
            openSince = since;
    std::size_t given = 0;
    while (given < waiting_.size() && (!openSince || waiting_[given].item.timeUs < *openSince))
        ready.push_back(std::move(waiting_[given++].item));
    waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(given));
}

std::vector<CaptureItem> captureItems(const Capture& capture)
{
    CaptureFrames frames(capture);
    std::vector<CaptureItem> items;
    for (std::size_t i = 0; i < capture.size(); ++i)
        frames.feed(capture.record(i), items);
    frames.finish(items);
    return items;
}

} // namespace linecapture
