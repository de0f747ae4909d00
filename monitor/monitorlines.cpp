#include "monitorlines.h"

#include "frametext.h"


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
    : frames_(header)
    , time_(header.startUtcUs, header.utcOffsetSeconds)
    , decoder_(makeFrameDecoder(header.protocol))
{
}

void MonitorLines::feed(const CaptureRecord& record, QStringList& lines)
{
    frames_.feed(record, ready_);
    show(lines);
}

void MonitorLines::closeQuiet(std::int64_t nowUs, QStringList& lines)
{
    frames_.closeQuiet(nowUs, ready_);
    show(lines);
}

void MonitorLines::finish(QStringList& lines)
{
    frames_.finish(ready_);
    show(lines);
}

std::optional<std::int64_t> MonitorLines::nextQuietAt() const
{
    return frames_.nextQuietAt();
}

void MonitorLines::show(QStringList& lines)
{
    for (const CaptureItem& item : ready_)
        lines << lineOf(item);
    ready_.clear();
}

QString MonitorLines::lineOf(const CaptureItem& item)
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

QString MonitorLines::eventText(const CaptureItem& item)
{
    switch (*item.event) {
    case RecordKind::Opened:
        return QStringLiteral("порт %1 открыт").arg(item.text);
    case RecordKind::Closed:
        return item.text.isEmpty() ? QStringLiteral("порт закрыт") : QStringLiteral("порт закрыт: %1").arg(item.text);
    case RecordKind::Settings:
        return QStringLiteral("линия %1, конец кадра после %2 мкс тишины").arg(item.text).arg(item.gapUs);
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
