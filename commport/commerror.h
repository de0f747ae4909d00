#pragma once
// The one exception the serial port component raises: a fixed English text, the
// platform error code (errno, or -1 for the component's own refusals) and both together
// in the message the user sees.

#include <stdexcept>
#include <string>

namespace commport {

// The texts of every failure, as shown to the user.
inline constexpr const char* kErrAccessDevice = "Error accessing specified device";
inline constexpr const char* kErrInvalidHandle = "Invalid device handle, access denied";
inline constexpr const char* kErrLineSettings = "Error updating DataControlBlock";
inline constexpr const char* kErrBuffers = "Error initializing Read/Write Buffers";
inline constexpr const char* kErrTimeouts = "Error updating CommTimeouts";
inline constexpr const char* kErrAlreadyOpen = "Device already assigned (open)";

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& text, int errorCode);
    int ErrorCode;
};

// text + " (Error: <code>) ": the user reads the code next to the text.
std::string CommErrorMessage(const std::string& text, int code);

[[noreturn]] void RaiseCommError(const std::string& text, int code);

} // namespace commport
