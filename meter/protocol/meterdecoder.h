#pragma once
// The three-phase meter's frames as a line's listener reads them (framedecoder.h).

#include "framedecoder.h"

#include <memory>

namespace meter {

std::unique_ptr<linecapture::FrameDecoder> makeMeterDecoder();

} // namespace meter
