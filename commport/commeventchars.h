#pragma once
// The flow-control characters of the line: two values of the component's line settings,
// reached as the classic component reaches them. Changing one writes the line settings
// again, as any other line setting does.

#include <cstdint>

namespace commport {

class TCustomComm;

class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm* owner);

    std::uint8_t XonChar() const;
    std::uint8_t XoffChar() const;
    void SetXonChar(std::uint8_t value);
    void SetXoffChar(std::uint8_t value);

private:
    TCustomComm* owner_;
};

} // namespace commport
