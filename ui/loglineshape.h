#pragma once
// One log line as it is drawn. A reply read in one go can make a line of many thousand
// characters; shaping such a line whole on every paint, click or measure would cost far
// more than what is on screen. So a line is shaped in pieces of a few hundred characters,
// each measured once and only when something right of it is wanted, and only the pieces
// in view are laid out and drawn. Kerning across a piece boundary is lost, which the hex
// and time-stamp text of a log never shows.

#include <QFont>
#include <QString>

#include <vector>

class QPainter;
class QPaintDevice;
class QPalette;
class QPointF;

namespace ui {

class CharAdvances;

class LogLineShape {
public:
    LogLineShape(QString text, const QFont& font, QPaintDevice* device);

    const QString& text() const { return text_; }
    qsizetype length() const { return text_.size(); }

    qreal width();
    // The width as far as it is known: the pieces measured so far exactly, the rest from
    // the characters' advances. Exact once every piece was measured.
    qreal estimatedWidth(CharAdvances& advances);
    // The caret position nearest to x (x from the line's start).
    qsizetype columnAt(qreal x);
    qreal xOf(qsizetype column);
    // The word around column (start, end), by the Unicode word rules; an empty range
    // where column touches no word.
    std::pair<qsizetype, qsizetype> wordAt(qsizetype column) const;

    // Draws the line with its left end at origin.x and its top at origin.y; pieces
    // wholly outside [visibleLeft, visibleRight) are skipped. Columns [selectedFrom,
    // selectedTo) are drawn selected.
    void draw(QPainter& painter, const QPointF& origin, qreal visibleLeft, qreal visibleRight,
              qsizetype selectedFrom, qsizetype selectedTo, const QPalette& palette);

private:
    qsizetype pieceCount() const { return qsizetype(pieceStarts_.size()) - 1; }
    // Measures pieces until the left edges up to piece `last` (inclusive) are known.
    void measureThrough(qsizetype last);
    qsizetype pieceAtX(qreal x);
    qsizetype pieceOfColumn(qsizetype column) const;
    QString pieceText(qsizetype piece) const;

    QString text_;
    QFont font_;
    QPaintDevice* device_;
    // Piece k is [pieceStarts_[k], pieceStarts_[k+1]); pieceLefts_[k] its left edge and
    // pieceLefts_[k+1] its right edge, filled in as far as measured.
    std::vector<qsizetype> pieceStarts_;
    std::vector<qreal> pieceLefts_;
    // The last estimate and how many pieces were measured when it was made.
    qreal estimate_ = 0;
    qsizetype estimatedWith_ = -1;
};

} // namespace ui
