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

#include "capture.h"

#include <QString>

#include <vector>

namespace testscript {

struct CaptureScript {
    QString text;  // the script, as a script file would hold it
    QString error; // set when the capture has nothing to replay
    // For each line of the text, the capture file's line it comes from (0: none), so
    // that a step names the line of the capture an operator can look up.
    std::vector<int> fileLines;
};

// `recordLines`: the file's line of each record (as read); empty for a capture that
// was never a file.
CaptureScript captureScriptText(const linecapture::Capture& capture, const std::vector<int>& recordLines);

} // namespace testscript
