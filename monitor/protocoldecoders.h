#pragma once
// The decoder of the protocol the operator chose: each family's own (framedecoder.h of
// linecapture/), or one that shows bytes only.

#include "capturenames.h"
#include "framedecoder.h"

#include <memory>

namespace monitor {

using linecapture::FrameDecoder;

std::unique_ptr<FrameDecoder> makeFrameDecoder(Protocol protocol);

} // namespace monitor
