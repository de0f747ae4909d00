#include "consolepanel.h"

#include "consolekeyfilter.h"
#include "controlnames.h"
#include "logpane.h"

#include <limits>

#include <QKeyEvent>

namespace dispenser {

using ui::makeControl;

ConsolePanel::ConsolePanel(QWidget* clientArea)
    : QObject(clientArea)
    , RabPanel(makeControl<QFrame>(clientArea, "RabPanel"))
    , otpravedit(makeControl<QLineEdit>(RabPanel, "otpravedit"))
    , OtpravButton(makeControl<QPushButton>(RabPanel, "OtpravButton", QStringLiteral("Отправить")))
    , dannieListBox1(new ui::LogPane(RabPanel, "dannieListBox1"))
{
    RabPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    RabPanel->setGeometry(2, 56, 393, 377);
    otpravedit->setGeometry(5, 8, 383, 21);
    // The line has no limit of its own: a text of many frames is sent whole, and only
    // a single frame is bounded (by the frame text rules).
    otpravedit->setMaxLength(std::numeric_limits<int>::max());
    OtpravButton->setGeometry(5, 33, 75, 21);
    dannieListBox1->view()->setGeometry(5, 58, 383, 377 - 21 - 50);

    otpravedit->installEventFilter(this);
    connect(OtpravButton, &QPushButton::clicked, this, &ConsolePanel::OtpravButtonClick);
}

void ConsolePanel::OtpravButtonClick()
{
    if (send_)
        send_(otpravedit->text());
}

bool ConsolePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == otpravedit && event->type() == QEvent::KeyPress)
        return otpraveditKeyPress(static_cast<QKeyEvent*>(event));
    return QObject::eventFilter(watched, event);
}

// Returns true when the key is consumed here.
bool ConsolePanel::otpraveditKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (OtpravButton->isEnabled())
            OtpravButtonClick();
        return true;
    }
    const QString text = event->text();
    // Keys without a character (arrows, Home, shortcuts) are the edit's own business.
    if (text.size() != 1 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    const std::optional<QChar> accepted = consoleKeyFilter(text.front());
    if (!accepted)
        return true;
    if (*accepted == text.front())
        return false;
    otpravedit->insert(QString(*accepted));
    return true;
}

} // namespace dispenser
