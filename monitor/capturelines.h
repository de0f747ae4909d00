#pragma once
// "Открыть запись ...": a capture file read into the lines of the monitor's pane, on the
// thread of a BackgroundRead. A capture may be a week of a line, far more than anyone
// scrolls: only the pane's lines are made and kept, at most kPaneLineLimit of them, the
// last ones, after one line that says how many came before (the file holds them). None
// of the capture's records stay in memory; another presentation or a saved copy reads
// the file again.

#include "capturenames.h"
#include "logstore.h"

#include <QString>

#include <memory>
#include <optional>

class QThread;

namespace linecapture {
class ReadProgress;
}

namespace monitor {

// The most lines the monitor's pane holds.
inline constexpr qsizetype kPaneLineLimit = 1'000'000;

struct CaptureLines {
    // The capture's header as shown (start, protocol, gap); no records.
    Capture header;
    // The pane's lines, its thread the one given to readCaptureLines.
    std::unique_ptr<ui::LogStore> lines;
    // Empty when the file was read whole; otherwise why not, and its line (0: the file).
    QString error;
    int errorLine = 0;
    bool stopped = false; // the reading was asked to stop
    qint64 droppedLines = 0; // lines before the ones kept
};

// What the pane says of the lines it does not hold.
QString droppedLinesNotice(qint64 dropped, qsizetype limit);

// Reads the capture file at `path` into at most `lineLimit` lines. The protocol and the
// gap are the file's unless given. `linesThread` takes the finished store.
CaptureLines readCaptureLines(const QString& path, std::optional<Protocol> protocol, std::optional<double> gap,
                              qsizetype lineLimit, QThread* linesThread, linecapture::ReadProgress& progress);

} // namespace monitor
