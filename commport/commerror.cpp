#include "commerror.h"

namespace commport {

std::string CommErrorMessage(const std::string& text, int code)
{
    return text + " (Error: " + std::to_string(code) + ") ";
}

ECommError::ECommError(const std::string& text, int errorCode, CommErrorKind kind)
    : std::runtime_error(CommErrorMessage(text, errorCode)), ErrorCode(errorCode), Kind(kind)
{
}

void RaiseCommError(const std::string& text, int code, CommErrorKind kind)
{
    throw ECommError(text, code, kind);
}

} // namespace commport
