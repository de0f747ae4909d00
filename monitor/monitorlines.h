#pragma once
// From a capture's records to the lines of the monitor's view, one frame a line:
//   "A→B 12:03:04.123456  60 01 81 FB  запрос статуса, адрес 01, рукав 1"
// The frames and events come as the capture's own reading gives them (each tap's chunks
// cut by its own line's gap, both taps in the order they started), and each frame is
// described by the chosen protocol's decoder as it is shown, so a reply is read against
// the request before it. What
// happened to a tap (opened, lost, bytes lost to an overrun) is a line in that order too.
//
// Live and replayed captures go through this one object: what it shows depends on the
// records alone, except how soon a frame appears, so a capture read back shows the lines
// it showed when it was made.

#include "capturenames.h"
#include "protocoldecoders.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

namespace monitor {

// "12:03:04.123456": the local time of day of a capture's time, with microseconds.
class TimeOfDayText {
public:
    TimeOfDayText(std::int64_t startUtcUs, int utcOffsetSeconds);
    QString at(std::int64_t timeUs);

private:
    const std::int64_t localStartUs_;
    std::int64_t cachedSecond_ = -1;
    QString cachedText_;
};

// "A→B" for what A sent, "B→A" for what B sent.
QString directionText(Side side);

class MonitorLines {
public:
    // The capture's start, protocol and gap; its records are fed one by one.
    explicit MonitorLines(const Capture& header);

    // One record, in the order they were taken. Lines that are complete now are appended.
    void feed(const CaptureRecord& record, QStringList& lines);
    // Shows the frames nothing could join any more at `nowUs` (a replay leaves this to
    // the next record's time).
    void closeQuiet(std::int64_t nowUs, QStringList& lines);
    // The end of the capture, or of listening: everything still open is shown.
    void finish(QStringList& lines);
    // When closeQuiet has something to show at the earliest.
    std::optional<std::int64_t> nextQuietAt() const;

    // The line format each tap listens with (from its last settings record).
    const LineFormat& lineFormat(Side side) const { return frames_.lineFormat(side); }

private:
    void show(QStringList& lines);
    QString lineOf(const CaptureItem& item);
    static QString eventText(const CaptureItem& item);

    CaptureFrames frames_;
    TimeOfDayText time_;
    std::unique_ptr<FrameDecoder> decoder_;
    std::vector<CaptureItem> ready_; // reused
};

} // namespace monitor
