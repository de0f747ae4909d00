#include "logpane.h"

#include "logview.h"

namespace ui {

LogPane::LogPane(QWidget* parent, const char* name)
    : view_(new LogView(&store_, parent))
{
    const QString text = QString::fromLatin1(name);
    setObjectName(text);
    view_->setObjectName(text);
    view_->setAccessibleDescription(text);
    view_->pane_ = this;
    setParent(view_);
    // The view is going, and this pane (its child) with it: the pane must not delete the
    // view a second time. Said before the view deletes its children.
    connect(view_, &QObject::destroyed, this, [this] { view_ = nullptr; });
}

LogPane::~LogPane()
{
    // Deleted on its own rather than with its view: take the view along. Leave the view
    // first, or the view would delete this pane a second time.
    if (view_) {
        LogView* const view = view_;
        view_ = nullptr;
        setParent(nullptr);
        delete view;
    }
}

void LogPane::appendLine(const QString& line)
{
    // An empty pane and a pane holding one empty line are the same text; keeping them
    // apart would make the first line after an empty one differ from a text editor's.
    if (line.isEmpty() && store_.isEmpty())
        return;
    store_.append(line);
}

void LogPane::clear()
{
    store_.clear();
}

void LogPane::setLines(const QStringList& lines)
{
    if (lines.isEmpty() || (lines.size() == 1 && lines.front().isEmpty()))
        store_.clear();
    else
        store_.setLines(lines);
}

void LogPane::takeLines(LogStore& lines)
{
    if (lines.lineCount() == 1 && lines.lineUtf8(0).isEmpty())
        lines.clear();
    store_.takeLines(lines);
}

QString LogPane::toPlainText() const
{
    QByteArray utf8;
    bool first = true;
    store_.forEachLine([&](QByteArrayView line) {
        if (!first)
            utf8 += '\n';
        first = false;
        utf8 += line;
    });
    return QString::fromUtf8(utf8);
}

void LogPane::setFont(const QFont& font)
{
    view_->setFont(font);
}

QFont LogPane::font() const
{
    return view_->font();
}

LogPane* LogPane::of(const QWidget* widget)
{
    if (!widget)
        return nullptr;
    const auto* view = qobject_cast<const LogView*>(widget);
    if (!view)
        view = qobject_cast<const LogView*>(widget->parent());
    return view ? view->pane() : nullptr;
}

} // namespace ui
