#include "charadvances.h"

#include <QChar>

namespace ui {

CharAdvances::CharAdvances(const QFont& font, QPaintDevice* device)
    : metrics_(font, device)
{
    ascii_.fill(-1);
}

qreal CharAdvances::advanceOf(char16_t c)
{
    if (c < ascii_.size()) {
        qreal& advance = ascii_[c];
        if (advance < 0)
            advance = metrics_.horizontalAdvance(QChar(c));
        return advance;
    }
    if (const auto found = others_.constFind(c); found != others_.cend())
        return *found;
    // A surrogate alone has no advance of its own: the pair counts as one wide character.
    const qreal advance = QChar::isSurrogate(c) ? metrics_.averageCharWidth() / 2 : metrics_.horizontalAdvance(QChar(c));
    others_.insert(c, advance);
    return advance;
}

qreal CharAdvances::widthOf(QStringView text)
{
    qreal width = 0;
    for (const QChar c : text)
        width += advanceOf(c.unicode());
    return width;
}

} // namespace ui
