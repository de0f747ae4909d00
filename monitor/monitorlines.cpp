#include "monitorlines.h"

#include "frametext.h"

#include <algorithm>
#include <tuple>

namespace monitor {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

TimeOfDayText::TimeOfDayText(std::int64_t startUtcUs, int utcOffsetSeconds)
    : localStartUs_(startUtcUs + std::int64_t(utcOffsetSeconds) * 1'000'000)
{
}

QString TimeOfDayText::at(std::int64_t timeUs)
{
    const std::int64_t us = localStartUs_ + timeUs;
    const std::int64_t second = floorDiv(us, 1'000'000);
    if (second != cachedSecond_) {
        const std::int64_t ofDay = second - floorDiv(second, 86'400) * 86'400;
        cachedSecond_ = second;
        cachedText_ = QStringLiteral("%1:%2:%3")
                          .arg(ofDay / 3600, 2, 10, QLatin1Char('0'))
                          .arg(ofDay / 60 % 60, 2, 10, QLatin1Char('0'))
                          .arg(ofDay % 60, 2, 10, QLatin1Char('0'));
    }
    return cachedText_ + QStringLiteral(".%1").arg(us - second * 1'000'000, 6, 10, QLatin1Char('0'));
}

QString directionText(Side side)
{
    return side == Side::A ? QStringLiteral("A→B") : QStringLiteral("B→A");
}

MonitorLines::MonitorLines(const Capture& header)
    : gapCharacters_(header.gapCharacters)
    , time_(header.startUtcUs, header.utcOffsetSeconds)
    , decoder_(makeFrameDecoder(header.protocol))
{
    // Until a tap says otherwise, the line the console itself starts with.
    applyFormat(Side::A);
    applyFormat(Side::B);
}

void MonitorLines::applyFormat(Side side)
{
    const std::size_t i = std::size_t(sideIndex(side));
    cutters_[i].setTiming(formats_[i].characterUs(), gapCharacters_);
}

void MonitorLines::feed(const CaptureRecord& record, QStringList& lines)
{
    // What the clock would have shown by now is shown first.
    closeQuiet(record.timeUs, lines);
    FrameCutter& cutter = cutters_[std::size_t(sideIndex(record.side))];
    if (record.kind == RecordKind::Bytes) {
        cutter.feed(record.timeUs, record.bytes, cut_);
        takeFrames(cut_);
    } else {
        // An event ends the frame before it: bytes were lost, the line changed or went.
        if (record.kind != RecordKind::Note) {
            cutter.close(cut_);
            takeFrames(cut_);
        }
        if (record.kind == RecordKind::Settings) {
            if (const std::optional<LineFormat> format = lineFormatFromText(record.text)) {
                formats_[std::size_t(sideIndex(record.side))] = *format;
                applyFormat(record.side);
            }
        }
        QString text = record.text;
        if (record.kind == RecordKind::Settings)
            text = QStringLiteral("%1, конец кадра после %2 мкс тишины").arg(record.text).arg(cutter.gapUs());
        push({record.side, record.timeUs, 0, {}, record.kind, text});
    }
    release(lines);
}

void MonitorLines::closeQuiet(std::int64_t nowUs, QStringList& lines)
{
    for (FrameCutter& cutter : cutters_)
        cutter.closeIfQuiet(nowUs, cut_);
    takeFrames(cut_);
    release(lines);
}

void MonitorLines::finish(QStringList& lines)
{
    for (FrameCutter& cutter : cutters_)
        cutter.close(cut_);
    takeFrames(cut_);
    release(lines);
}

std::optional<std::int64_t> MonitorLines::nextQuietAt() const
{
    std::optional<std::int64_t> earliest;
    for (const FrameCutter& cutter : cutters_)
        if (const std::optional<std::int64_t> at = cutter.quietAt(); at && (!earliest || *at < *earliest))
            earliest = at;
    return earliest;
}

void MonitorLines::takeFrames(std::vector<CutFrame>& frames)
{
    for (CutFrame& frame : frames)
        push({frame.side, frame.startUs, 0, std::move(frame.bytes), std::nullopt, QString()});
    frames.clear();
}

void MonitorLines::push(Item item)
{
    item.sequence = sequence_++;
    const auto before = [](const Item& a, const Item& b) {
        return std::tie(a.timeUs, a.side, a.sequence) < std::tie(b.timeUs, b.side, b.sequence);
    };
    waiting_.insert(std::upper_bound(waiting_.begin(), waiting_.end(), item, before), std::move(item));
}

void MonitorLines::release(QStringList& lines)
{
    // A frame still open started before anything waiting from that time on.
    std::optional<std::int64_t> openSince;
    for (const FrameCutter& cutter : cutters_)
        if (const std::optional<std::int64_t> since = cutter.openSince(); since && (!openSince || *since < *openSince))
            openSince = since;
    std::size_t shown = 0;
    while (shown < waiting_.size() && (!openSince || waiting_[shown].timeUs < *openSince))
        lines << lineOf(waiting_[shown++]);
    waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(shown));
}

QString MonitorLines::lineOf(const Item& item)
{
    QString line = directionText(item.side) + u' ' + time_.at(item.timeUs) + QStringLiteral("  ");
    if (item.event)
        return line + QStringLiteral("! ") + eventText(item);
    line += transport::byteText(item.bytes).mid(1);
    const QString meaning = decoder_->describe(item.side, item.bytes);
    if (!meaning.isEmpty())
        line += QStringLiteral("  ") + meaning;
    return line;
}

QString MonitorLines::eventText(const Item& item) const
{
    switch (*item.event) {
    case RecordKind::Opened:
        return QStringLiteral("порт %1 открыт").arg(item.text);
    case RecordKind::Closed:
        return item.text.isEmpty() ? QStringLiteral("порт закрыт") : QStringLiteral("порт закрыт: %1").arg(item.text);
    case RecordKind::Settings:
        return QStringLiteral("линия ") + item.text;
    case RecordKind::Overrun:
        return QStringLiteral("байты потеряны: приёмник переполнен (так сообщил драйвер)");
    case RecordKind::LineError:
        return QStringLiteral("ошибки приёма: %1 — байты могут быть искажены").arg(item.text);
    case RecordKind::Note:
    case RecordKind::Bytes:
        break;
    }
    return item.text;
}

} // namespace monitor
