#pragma once
// How the serial event thread reaches the GUI thread.

#include <functional>

namespace commport {

// Queues a call on the GUI thread without waiting for it to run.
using MainThreadPoster = std::function<void(std::function<void()>)>;

} // namespace commport
