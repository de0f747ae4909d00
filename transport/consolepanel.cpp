#include "consolepanel.h"

#include "consolekeyfilter.h"
#include "controlnames.h"
#include "logpane.h"

#include <QKeyEvent>

namespace transport {

ConsolePanel::ConsolePanel(QWidget* clientArea)
    : QObject(clientArea)
    , RabPanel(makeControl<QFrame>(clientArea, "RabPanel"))
    , otpravedit(makeControl<QLineEdit>(RabPanel, "otpravedit"))
    , OtpravButton(makeControl<QPushButton>(RabPanel, "OtpravButton", QStringLiteral("Отправить")))
    , dannieListBox1(makeLogPane(RabPanel, "dannieListBox1"))
{
    RabPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    RabPanel->setGeometry(2, 56, 393, 377);
    otpravedit->setGeometry(5, 8, 383, 21);
    OtpravButton->setGeometry(5, 33, 75, 21);
    dannieListBox1->setGeometry(5, 58, 383, 377 - 21 - 50);
    dannieListBox1->setReadOnly(true);

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

} // namespace transport
