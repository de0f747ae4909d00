#pragma once
// A named log: the lines the program appends, and the widget that shows them. The
// program never trims a log; only "Очистить" and loading a file replace its lines.

#include <QFont>
#include <QObject>
#include <QStringList>

class QPlainTextEdit;
class QWidget;

namespace ui {

class LogPane : public QObject {
    Q_OBJECT
public:
    // The view is a child of `parent`; both carry `name` as objectName.
    LogPane(QWidget* parent, const char* name);

    void appendLine(const QString& line);
    void clear();
    int lineCount() const;
    QStringList lines() const;
    QString toPlainText() const;
    void setLines(const QStringList& lines);

    void setFont(const QFont& font);
    QFont font() const;

    QWidget* view() const;

private:
    QPlainTextEdit* const view_;
};

} // namespace ui
