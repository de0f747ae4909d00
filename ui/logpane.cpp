#include "logpane.h"

#include "controlnames.h"

#include <QPlainTextEdit>

namespace ui {

LogPane::LogPane(QWidget* parent, const char* name)
    : QObject(parent)
    , view_(makeControl<QPlainTextEdit>(parent, name))
{
    setObjectName(QString::fromLatin1(name));
    // Long frames stay on one line; the horizontal scroll bar shows the rest.
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setUndoRedoEnabled(false);
    view_->setReadOnly(true);
}

void LogPane::appendLine(const QString& line) { view_->appendPlainText(line); }
void LogPane::clear() { view_->clear(); }
int LogPane::lineCount() const { return lines().size(); }

QStringList LogPane::lines() const
{
    const QString text = view_->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

QString LogPane::toPlainText() const { return view_->toPlainText(); }
void LogPane::setLines(const QStringList& lines) { view_->setPlainText(lines.join(u'\n')); }
void LogPane::setFont(const QFont& font) { view_->setFont(font); }
QFont LogPane::font() const { return view_->font(); }
QWidget* LogPane::view() const { return view_; }

} // namespace ui
