#pragma once
// The flow-control characters of the line, owned by the component: changing one writes
// the line settings again, as any other line setting does.

#include <cstdint>

namespace commport {

class TCustomComm;

class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm* owner);

    std::uint8_t XonChar() const { return xonChar_; }
    std::uint8_t XoffChar() const { return xoffChar_; }
    void SetXonChar(std::uint8_t value);
    void SetXoffChar(std::uint8_t value);

private:
    TCustomComm* owner_;
    std::uint8_t xonChar_ = 0x11;
    std::uint8_t xoffChar_ = 0x13;
};

} // namespace commport
