#pragma once
// A capture's records as they were on the line: each tap's chunks cut into frames by
// its own line's silence, and the frames and the taps' events of both sides in the order
// they started. The monitor shows what this gives and the test scripts replay it, so a
// capture is read alike live, from a file, and against a device.
//
// What comes out depends on the records alone, except how soon a frame is complete: a
// live capture ends its frames by the clock (closeQuiet), a replay by the next record.

#include "capture.h"
#include "framecutter.h"
#include "lineformat.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace linecapture {

struct CaptureItem {
    Side side = Side::A;
    std::int64_t timeUs = 0;           // a frame: when its first chunk came
    std::vector<std::uint8_t> bytes;   // a frame's bytes
    std::optional<RecordKind> event;   // empty: a frame
    QString text;                      // an event's text
    std::int64_t gapUs = 0;            // Settings: the silence that ends a frame from then on
    std::size_t record = 0;            // the record that began it
};

class CaptureFrames {
public:
    // The capture's gap; its records are fed one by one.
    explicit CaptureFrames(const Capture& header);

    // One record, in the order they were taken. Items that are complete and that nothing
    // could still come before are appended to `ready`.
    void feed(const CaptureRecord& record, std::vector<CaptureItem>& ready);
    // The frames nothing could join any more at `nowUs`.
    void closeQuiet(std::int64_t nowUs, std::vector<CaptureItem>& ready);
    // The end of the capture, or of listening: everything still open.
    void finish(std::vector<CaptureItem>& ready);
    // When closeQuiet has something to give at the earliest.
    std::optional<std::int64_t> nextQuietAt() const;

    // The line format each tap listens with (from its last settings record).
    const LineFormat& lineFormat(Side side) const { return formats_[std::size_t(sideIndex(side))]; }

private:
    struct Waiting {
        CaptureItem item;
        std::uint64_t sequence = 0;
    };

    void takeFrames();
    void push(CaptureItem item);
    void release(std::vector<CaptureItem>& ready);
    void applyFormat(Side side);

    const double gapCharacters_;
    std::array<FrameCutter, kSideCount> cutters_{FrameCutter(Side::A), FrameCutter(Side::B)};
    std::array<LineFormat, kSideCount> formats_{};
    std::vector<Waiting> waiting_; // sorted by time, side, sequence
    std::uint64_t sequence_ = 0;
    std::vector<CutFrame> cut_; // reused
};

// Every item of a whole capture, as a replay meets them.
std::vector<CaptureItem> captureItems(const Capture& capture);

} // namespace linecapture
