#pragma once
// A tap's line as the monitor needs it: how long one character takes on the wire, which
// sets the silence that ends a frame. Written "4800 8N2" in captures and on the screen.

#include "commtypes.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace linecapture {

struct LineFormat {
    unsigned baud = 4800;
    int dataBits = 8;
    char parity = 'N'; // N, O, E, M, S
    double stopBits = 2;

    // Start bit, data bits, parity bit and stop bits.
    double bitsPerCharacter() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    // One character's time on the wire, in microseconds.
    double characterUs() const { return bitsPerCharacter() * 1e6 / baud; }

    friend bool operator==(const LineFormat&, const LineFormat&) = default;
};

LineFormat lineFormatOf(const commport::TLineSettings& settings);

// "4800 8N2", "9600 7E1.5".
QString lineFormatText(const LineFormat& format);
// The same text read back; nothing for a text that is not one.
std::optional<LineFormat> lineFormatFromText(QStringView text);

} // namespace linecapture
