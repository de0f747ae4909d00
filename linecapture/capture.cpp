#include "capture.h"

namespace linecapture {

void Capture::appendBytes(std::int64_t timeUs, Side side, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    records_.push_back({timeUs, bytes_.size(), static_cast<std::uint32_t>(bytes.size()), side, RecordKind::Bytes});
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void Capture::appendEvent(std::int64_t timeUs, Side side, RecordKind kind, const QString& text)
{
    records_.push_back({timeUs, texts_.size(), 0, side, kind});
    texts_.push_back(text);
}

void Capture::clearRecords()
{
    records_.clear();
    bytes_.clear();
    texts_.clear();
}

CaptureRecord Capture::record(std::size_t index) const
{
    const Stored& stored = records_.at(index);
    CaptureRecord record;
    record.index = index;
    record.timeUs = stored.timeUs;
    record.side = stored.side;
    record.kind = stored.kind;
    if (stored.kind == RecordKind::Bytes)
        record.bytes = std::span<const std::uint8_t>(bytes_).subspan(stored.first, stored.count);
    else
        record.text = texts_[stored.first];
    return record;
}

std::size_t Capture::memoryBytes() const
{
    std::size_t total = records_.capacity() * sizeof(Stored) + bytes_.capacity() + texts_.capacity() * sizeof(QString);
    for (const QString& text : texts_)
        total += std::size_t(text.capacity()) * sizeof(QChar);
    return total;
}

} // namespace linecapture
