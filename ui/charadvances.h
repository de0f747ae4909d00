#pragma once
// What a text is likely to take in width, without laying it out: the sum of its
// characters' advances, each asked of the font once. A log line of many thousand
// characters needs a width for the horizontal scroll range long before anyone looks at
// its far end; shaping it whole for that costs far more than drawing what is on screen.
// Only kerning and shaping across characters are missing, which the hex and time-stamp
// text of a log barely has; the exact width takes over where a line is laid out.

#include <QFontMetricsF>
#include <QHash>
#include <QStringView>

#include <array>

namespace ui {

class CharAdvances {
public:
    CharAdvances(const QFont& font, QPaintDevice* device);

    qreal widthOf(QStringView text);

private:
    qreal advanceOf(char16_t c);

    QFontMetricsF metrics_;
    // Negative until asked.
    std::array<qreal, 128> ascii_;
    QHash<char16_t, qreal> others_;
};

} // namespace ui
