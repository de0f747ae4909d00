#pragma once
// The log file format: the console log's lines as Windows-1251 text, every line ended
// by CR LF, nothing else. Pure conversions, fed in pieces so that a long log can be
// written and read a chunk at a time with the window still answering.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace ui {

class LogStore;

// Pane lines to file bytes.
class LogEncoder {
public:
    // Appends one line and its CR LF to `out`. A character the code page cannot hold
    // is written as "?": the line still goes into the file.
    void append(QStringView line, QByteArray& out);

    // How many characters were written as "?" so far.
    qsizetype substituted() const { return substituted_; }

private:
    qsizetype substituted_ = 0;
};

// File bytes to pane lines. CR LF, a lone CR and a lone LF each end a line, as they
// do for every editor the file may have passed through.
class LogDecoder {
public:
    // The next piece of the file; its complete lines are appended to `lines`. A piece
    // may end anywhere, even between the CR and the LF of one line end.
    void feed(QByteArrayView bytes, QStringList& lines);
    // The end of the file: text after the last line end is the last line.
    void finish(QStringList& lines);

    // The same into a store: a loaded log then costs what the store keeps, with no list
    // of strings that a pane would copy and leave behind as freed but resident memory.
    void feed(QByteArrayView bytes, LogStore& lines);
    void finish(LogStore& lines);

private:
    template <typename AppendLine>
    void feedLines(QByteArrayView bytes, AppendLine&& appendLine);
    template <typename AppendLine>
    void finishLines(AppendLine&& appendLine);

    // The decoded piece, kept between pieces so that a long file reuses one buffer.
    QString text_;
    QString partial_;
    // The previous piece ended in CR: a LF opening this one belongs to that line end.
    bool afterCr_ = false;
};

// A whole log at once.
QByteArray encodeLog(const QStringList& lines, qsizetype* substituted = nullptr);
QStringList decodeLog(QByteArrayView bytes);

} // namespace ui
