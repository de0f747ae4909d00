#pragma once
// Cutting one tap's chunks into frames by the silence between them. A chunk carries
// the time its bytes were found, which is about when its last byte arrived; its first
// byte began `count` character times before. A frame ends when the line was silent for
// the gap between the end of one chunk and the start of the next.
//
// A frame is taken as complete, with no chunk to tell, once the gap and a hold have
// passed: USB adapters pass on what they received up to 16 ms late, so an earlier
// judgement could cut a frame in two. A chunk that comes after that much silence
// starts a new frame whatever its size, so that the judgement made by the clock and the
// one made from the chunks' times never differ, and a replayed capture is cut as it was
// cut live.

#include "capture.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace linecapture {

struct CutFrame {
    Side side = Side::A;
    std::int64_t startUs = 0; // the time of the chunk that opened it
    std::size_t firstRecord = 0; // that chunk's record in the capture
    std::vector<std::uint8_t> bytes;
};

class FrameCutter {
public:
    // No frame of the three protocols comes near; a line without pauses (noise, a wrong
    // speed) is still shown as lines of this many bytes at most.
    static constexpr std::size_t kMaxFrameBytes = 1024;
    static constexpr std::int64_t kHoldUs = 20'000;

    explicit FrameCutter(Side side) : side_(side) {}

    // One character's time on the line and the gap in characters. The open frame keeps
    // what it has; the new gap holds from its next chunk on.
    void setTiming(double characterUs, double gapCharacters);
    std::int64_t gapUs() const { return gapUs_; }

    // A chunk found at timeUs, the capture's record `record`. Frames it completes are
    // appended to `done`.
    void feed(std::int64_t timeUs, std::span<const std::uint8_t> bytes, std::size_t record, std::vector<CutFrame>& done);
    // Ends the open frame (its port closed, the driver lost bytes after it).
    void close(std::vector<CutFrame>& done);
    // Ends the open frame when nothing could join it any more at `nowUs`.
    void closeIfQuiet(std::int64_t nowUs, std::vector<CutFrame>& done);

    // The start of the open frame, and when closeIfQuiet will end it.
    std::optional<std::int64_t> openSince() const;
    std::optional<std::int64_t> quietAt() const;

private:
    const Side side_;
    double characterUs_ = 0;
    std::int64_t gapUs_ = 0;
    std::optional<CutFrame> open_;
    std::int64_t lastUs_ = 0; // the time of the open frame's last chunk
};

} // namespace linecapture
