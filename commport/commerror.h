#pragma once
// The one exception the serial port component raises: a fixed English text, the
// system's error code (or -1 for the component's own refusals), both together in the
// message the user sees, and the kind of failure, which is the same on every system.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace commport {

// The texts of every failure, as shown to the user.
inline constexpr const char* kErrAccessDevice = "Error accessing specified device";
inline constexpr const char* kErrInvalidHandle = "Invalid device handle, access denied";
inline constexpr const char* kErrLineSettings = "Error updating DataControlBlock";
inline constexpr const char* kErrAlreadyOpen = "Device already assigned (open)";

// What went wrong, whatever system reported it. Advice to the operator keys on this,
// never on a system's own code, which differs from one system to the next.
enum class CommErrorKind : std::uint8_t {
    None,           // no failure
    NotFound,       // no device of that name (any more)
    AccessDenied,   // the user may not use the device
    Busy,           // another program holds the device
    NotAPort,       // the name leads to something that is no serial device
    SystemConsole,  // the name leads to the terminal the kernel writes its console to
    AlreadyOpen,    // the setting cannot change while the port is open
    NotOpen,        // the operation needs an open port
    SettingRefused, // the device did not take a line setting
    Unsupported,    // this system has no such line setting
    Gone,           // the device vanished or stopped answering
    Misbehaved,     // the other side broke the line's protocol (a server that asks and
                    // never reads the answers): the line was dropped
    Other,          // anything else; the code tells more
};

// The last failure of an operation on the device, kept for the caller to ask about
// after a call reported it: its kind, the system's code (-1 where the component itself
// refused) and the system's own text.
struct TCommLastError {
    CommErrorKind Kind = CommErrorKind::None;
    int Code = 0;
    std::string Message;
    explicit operator bool() const { return Kind != CommErrorKind::None; }
};

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& text, int errorCode, CommErrorKind kind = CommErrorKind::Other);
    int ErrorCode;
    CommErrorKind Kind;
};

// text + " (Error: <code>) ": the user reads the code next to the text.
std::string CommErrorMessage(const std::string& text, int code);

[[noreturn]] void RaiseCommError(const std::string& text, int code,
                                 CommErrorKind kind = CommErrorKind::Other);

} // namespace commport
