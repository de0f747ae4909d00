#include "consolepanel.h"

#include "controlnames.h"
#include "logpane.h"

namespace transport {

ConsolePanel::ConsolePanel(QWidget* clientArea)
    : QObject(clientArea)
    , RabPanel(makeControl<QFrame>(clientArea, "RabPanel"))
    , otpravedit(makeControl<QLineEdit>(RabPanel, "otpravedit"))
    , dannieListBox1(makeLogPane(RabPanel, "dannieListBox1"))
{
    RabPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    RabPanel->setGeometry(2, 56, 393, 377);
    otpravedit->setGeometry(5, 8, 383, 21);
    dannieListBox1->setGeometry(5, 58, 383, 377 - 21 - 50);
}

} // namespace transport
