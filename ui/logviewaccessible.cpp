#include "logviewaccessible.h"

#include "logview.h"

#include <QAccessibleWidget>

namespace ui {

namespace {

class LogViewAccessible : public QAccessibleWidget {
public:
    explicit LogViewAccessible(QWidget* view)
        : QAccessibleWidget(view, QAccessible::Document)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }
};

QAccessibleInterface* logViewFactory(const QString& className, QObject* object)
{
    if (object && object->isWidgetType() && className == QLatin1String(LogView::staticMetaObject.className()))
        return new LogViewAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

void installLogViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(logViewFactory);
        return true;
    }();
    (void)installed;
}

} // namespace ui
