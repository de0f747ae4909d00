#pragma once
// The dispenser controller's frames as a line's listener reads them (framedecoder.h).

#include "framedecoder.h"

#include <memory>

namespace dispenser {

std::unique_ptr<linecapture::FrameDecoder> makeDispenserDecoder();

} // namespace dispenser
