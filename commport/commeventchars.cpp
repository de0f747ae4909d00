#include "commeventchars.h"

#include "customcomm.h"

namespace commport {

TCommEventChars::TCommEventChars(TCustomComm* owner) : owner_(owner) {}

std::uint8_t TCommEventChars::XonChar() const { return owner_->LineSettings().XonChar; }
std::uint8_t TCommEventChars::XoffChar() const { return owner_->LineSettings().XoffChar; }

void TCommEventChars::SetXonChar(std::uint8_t value)
{
    TLineSettings settings = owner_->LineSettings();
    settings.XonChar = value;
    owner_->SetLineSettings(settings);
}

void TCommEventChars::SetXoffChar(std::uint8_t value)
{
    TLineSettings settings = owner_->LineSettings();
    settings.XoffChar = value;
    owner_->SetLineSettings(settings);
}

} // namespace commport
