#include "commerror.h"

namespace commport {

std::string CommErrorMessage(const std::string& text, int code)
{
    return text + " (Error: " + std::to_string(code) + ") ";
}

ECommError::ECommError(const std::string& text, int errorCode)
    : std::runtime_error(CommErrorMessage(text, errorCode)), ErrorCode(errorCode)
{
}

void RaiseCommError(const std::string& text, int code)
{
    throw ECommError(text, code);
}

} // namespace commport
