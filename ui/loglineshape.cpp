#include "loglineshape.h"

#include "charadvances.h"

#include <QPainter>
#include <QPalette>
#include <QTextLayout>

#include <algorithm>

namespace ui {

namespace {

constexpr qsizetype kPieceLength = 256;

// Lays the text out on one line, trailing blanks included: a piece that ends in blanks
// must be as wide as the blanks, or the next piece would be drawn over them.
QTextLine layOut(QTextLayout& layout)
{
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    return line;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

LogLineShape::LogLineShape(QString text, const QFont& font, QPaintDevice* device)
    : text_(std::move(text))
    , font_(font)
    , device_(device)
{
    pieceStarts_.push_back(0);
    qsizetype at = 0;
    while (text_.size() - at > kPieceLength) {
        qsizetype next = at + kPieceLength;
        if (text_[next].isLowSurrogate())
            --next; // keep the pair together
        pieceStarts_.push_back(next);
        at = next;
    }
    pieceStarts_.push_back(text_.size());
    pieceLefts_.push_back(0);
}

QString LogLineShape::pieceText(qsizetype piece) const
{
    if (pieceCount() == 1)
        return text_;
    const qsizetype from = pieceStarts_[std::size_t(piece)];
    return text_.mid(from, pieceStarts_[std::size_t(piece) + 1] - from);
}

void LogLineShape::measureThrough(qsizetype last)
{
    last = std::min(last, pieceCount() - 1);
    while (qsizetype(pieceLefts_.size()) <= last + 1) {
        const qsizetype piece = qsizetype(pieceLefts_.size()) - 1;
        QTextLayout layout(pieceText(piece), font_, device_);
        const QTextLine line = layOut(layout);
        pieceLefts_.push_back(pieceLefts_.back() + line.horizontalAdvance());
    }
}

qreal LogLineShape::width()
{
    measureThrough(pieceCount() - 1);
    return pieceLefts_.back();
}

qreal LogLineShape::estimatedWidth(CharAdvances& advances)
{
    const qsizetype measured = qsizetype(pieceLefts_.size()) - 1;
    if (measured != estimatedWith_) {
        estimatedWith_ = measured;
        const qsizetype from = pieceStarts_[std::size_t(measured)];
        estimate_ = pieceLefts_.back() + advances.widthOf(QStringView(text_).sliced(from));
    }
    return estimate_;
}

qsizetype LogLineShape::pieceAtX(qreal x)
{
    qsizetype piece = 0;
    while (piece + 1 < pieceCount()) {
        measureThrough(piece);
        if (x < pieceLefts_[std::size_t(piece) + 1])
            break;
        ++piece;
    }
    return piece;
}

qsizetype LogLineShape::pieceOfColumn(qsizetype column) const
{
    const auto after = std::upper_bound(pieceStarts_.begin(), pieceStarts_.end() - 1, column);
    return std::clamp<qsizetype>((after - pieceStarts_.begin()) - 1, 0, pieceCount() - 1);
}

qsizetype LogLineShape::columnAt(qreal x)
{
    if (x <= 0)
        return 0;
    const qsizetype piece = pieceAtX(x);
    QTextLayout layout(pieceText(piece), font_, device_);
    const QTextLine line = layOut(layout);
    const qreal left = pieceLefts_[std::size_t(piece)];
    return pieceStarts_[std::size_t(piece)] + line.xToCursor(x - left, QTextLine::CursorBetweenCharacters);
}

qreal LogLineShape::xOf(qsizetype column)
{
    column = std::clamp<qsizetype>(column, 0, length());
    const qsizetype piece = pieceOfColumn(column);
    measureThrough(piece - 1);
    QTextLayout layout(pieceText(piece), font_, device_);
    const QTextLine line = layOut(layout);
    const int local = int(column - pieceStarts_[std::size_t(piece)]);
    return pieceLefts_[std::size_t(piece)] + line.cursorToX(local);
}

std::pair<qsizetype, qsizetype> LogLineShape::wordAt(qsizetype column) const
{
    // The character right of the caret, or left of it at the end of a word.
    qsizetype at = column;
    if (at >= length() || !isWordCharacter(text_[at])) {
        if (at > 0 && isWordCharacter(text_[at - 1]))
            --at;
        else
            return {column, column};
    }
    qsizetype start = at;
    while (start > 0 && isWordCharacter(text_[start - 1]))
        --start;
    qsizetype end = at + 1;
    while (end < length() && isWordCharacter(text_[end]))
        ++end;
    return {start, end};
}

void LogLineShape::draw(QPainter& painter, const QPointF& origin, qreal visibleLeft, qreal visibleRight,
                        qsizetype selectedFrom, qsizetype selectedTo, const QPalette& palette)
{
    QTextCharFormat selected;
    selected.setBackground(palette.brush(QPalette::Highlight));
    selected.setForeground(palette.brush(QPalette::HighlightedText));

    for (qsizetype piece = pieceAtX(visibleLeft - origin.x()); piece < pieceCount(); ++piece) {
        const qreal left = origin.x() + pieceLefts_[std::size_t(piece)];
        if (left >= visibleRight)
            break;
        const qsizetype start = pieceStarts_[std::size_t(piece)];
        const qsizetype end = pieceStarts_[std::size_t(piece) + 1];
        QTextLayout layout(pieceText(piece), font_, device_);
        const QTextLine line = layOut(layout);
        QList<QTextLayout::FormatRange> selections;
        const qsizetype from = std::max(selectedFrom, start);
        const qsizetype to = std::min(selectedTo, end);
        if (from < to)
            selections.append({int(from - start), int(to - from), selected});
        layout.draw(&painter, QPointF(left, origin.y()), selections);
        if (qsizetype(pieceLefts_.size()) == piece + 1)
            pieceLefts_.push_back(pieceLefts_.back() + line.horizontalAdvance());
    }
}

} // namespace ui
