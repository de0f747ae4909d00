#include "clickablepanel.h"

#include <QMouseEvent>

namespace dispenser {

ClickablePanel::ClickablePanel(QWidget* parent)
    : QFrame(parent)
{
}

void ClickablePanel::mousePressEvent(QMouseEvent* event)
{
    // Labels let presses through to their parent; a click on a label is not a click
    // on the background.
    pressedOnBackground_ = event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr;
    QFrame::mousePressEvent(event);
}

void ClickablePanel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressedOnBackground_ && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    pressedOnBackground_ = false;
    QFrame::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

} // namespace dispenser
