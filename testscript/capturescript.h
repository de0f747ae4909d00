#pragma once
// A capture of a line replayed as a test script against a device of the same family:
// each frame side A (the station) sent is sent again as it was, and what side B (the
// device) answered before A's next frame is the reply expected, byte for byte, or
// nothing when it answered nothing. One case an exchange, named by the request's time in
// the capture (the time column of the capture file), so a device that answers otherwise
// today fails that exchange and the run goes on with the next.
//
// A reply heard while a tap's driver lost bytes or counted line errors is not compared:
// what the capture holds of it is not what the device said.
//
// The script is made as the capture is read, an exchange at a time, so a capture of tens
// of megabytes is never held whole, as records, frames or text.

#include "captureframes.h"
#include "transport.h"

#include <QString>

#include <optional>
#include <vector>

namespace testscript {

// A line of the script, and the capture file's line it comes from, so that a step names
// the line of the capture an operator can look up.
struct ReplayLine {
    QString text;
    int fileLine = 0;
};

// The reply window of each exchange replayed. It follows the capture: long enough for
// the reply as late as it came then, with a margin (half as long again, and 100 ms),
// and never shorter than the line's own window.
struct ReplayWindows {
    int lineWindowMs = transport::kReplyWindowMs;
    // Every exchange's window, whatever the capture says; none: from the capture.
    std::optional<int> windowMs;
};

// Whether the file's first line is a capture's: it is replayed, not read as a script.
bool looksLikeCapture(const QString& path);

class CaptureReplay {
public:
    // The capture's header (its gap cuts the frames), and how the windows are chosen.
    explicit CaptureReplay(const linecapture::Capture& header, const ReplayWindows& windows = {});

    // The capture's next record, read from line `fileLine` of its file. The lines of the
    // exchanges it completes are appended to `lines`.
    void feed(const linecapture::CaptureRecord& record, int fileLine, std::vector<ReplayLine>& lines);
    // The end of the capture: the last exchange.
    void finish(std::vector<ReplayLine>& lines);
    // Whether side A sent a frame: a capture without one has nothing to replay.
    bool anyExchange() const { return exchanges_ > 0; }

private:
    struct Exchange {
        linecapture::CaptureItem request;
        int replyLine = 0; // the file line of the reply's first frame
        std::vector<std::uint8_t> reply;
        bool damaged = false;
        // How long after the request began its reply's last byte was on the line.
        std::int64_t replyDoneUs = 0;
    };

    void take(std::vector<ReplayLine>& lines);
    void close(std::vector<ReplayLine>& lines);
    int windowOf(const Exchange& exchange) const;

    linecapture::CaptureFrames frames_;
    std::vector<linecapture::CaptureItem> ready_; // reused
    std::optional<Exchange> open_;
    std::size_t exchanges_ = 0;
    const ReplayWindows windows_;
    // The window the script is at: windows carry over from case to case.
    int lastWindow_;
};

} // namespace testscript
