#pragma once
// The memory controller's frames as a line's listener reads them (framedecoder.h).

#include "framedecoder.h"

#include <memory>

namespace memory {

std::unique_ptr<linecapture::FrameDecoder> makeMemoryDecoder();

} // namespace memory
