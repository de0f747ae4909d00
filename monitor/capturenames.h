#pragma once
// The capture's names, which the monitor uses throughout as its own.

#include "capture.h"
#include "capturefile.h"
#include "captureframes.h"
#include "lineformat.h"

namespace monitor {

using linecapture::Capture;
using linecapture::CaptureFrames;
using linecapture::CaptureItem;
using linecapture::CaptureReading;
using linecapture::CaptureRecord;
using linecapture::CutFrame;
using linecapture::FrameCutter;
using linecapture::kCaptureMagic;
using linecapture::kSideCount;
using linecapture::LineFormat;
using linecapture::Protocol;
using linecapture::RecordKind;
using linecapture::Side;
using linecapture::captureText;
using linecapture::lineFormatFromText;
using linecapture::lineFormatOf;
using linecapture::lineFormatText;
using linecapture::protocolFromToken;
using linecapture::protocolToken;
using linecapture::readCapture;
using linecapture::sideIndex;
using linecapture::writeCapture;

} // namespace monitor
