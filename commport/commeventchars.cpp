#include "commeventchars.h"

#include "customcomm.h"

namespace commport {

TCommEventChars::TCommEventChars(TCustomComm* owner) : owner_(owner) {}

void TCommEventChars::SetXonChar(std::uint8_t value)
{
    if (value == xonChar_)
        return;
    xonChar_ = value;
    owner_->ApplyLineSettings();
}

void TCommEventChars::SetXoffChar(std::uint8_t value)
{
    if (value == xoffChar_)
        return;
    xoffChar_ = value;
    owner_->ApplyLineSettings();
}

} // namespace commport
