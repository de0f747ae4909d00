// The main window's port corner: the port list, "Открыть", "Закрыть", the status
// label and the waiting notice. The port's life is the port session's; this corner
// passes the operator's choices to it and shows the state it reports.

#include "tform1.h"

#include "controlnames.h"
#include "errorboundary.h"
#include "familymode.h"
#include "portcombobox.h"
#include "portlist.h"
#include "portsession.h"
#include "portstatus.h"
#include "typedbox.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QAbstractItemView>

namespace mainwindow {

using portsession::PortSession;

void TForm1::setupPortControls()
{
    OpenPort_->setGeometry(40, 0, 57, 17);
    ClosePort_->setGeometry(96, 0, 57, 17);
    ui::makeTypedBox(COM_);
    COM_->setGeometry(104, 24, 65, 19);
    // The list also offers network lines ("rfc2217://host:port"): its drop-down is wide
    // enough to show them whole, though the box keeps its place.
    COM_->view()->setMinimumWidth(220);
    COM_->addItems(ports::builtInPortNames());
    COM_->setCurrentIndex(0);
    // Never shown, but kept current, as the window always had it.
    Label11_->setGeometry(176, 3, 185, 17);
    Label11_->setAlignment(Qt::AlignCenter);
    Label11_->setAutoFillBackground(true);
    Label11_->hide();
    setPortStatus(QStringLiteral("COM-порт закрыт"), kPortClosedColour);

    AutoReconnect_ = ui::nameControl(N7_->addAction(QStringLiteral("Переподключать автоматически")), "AutoReconnect");
    AutoReconnect_->setCheckable(true);
    AutoReconnect_->setChecked(session_->automaticReconnect());
    PortWaitLabel_ = ui::makeControl<QLabel>(clientArea_, "PortWaitLabel");
    // Under the port list, above the panels, which start at 56.
    PortWaitLabel_->setGeometry(8, 44, 168, 12);
    PortWaitLabel_->setAutoFillBackground(true);
    QPalette palette = PortWaitLabel_->palette();
    palette.setColor(QPalette::Window, kPortWaitingColour);
    PortWaitLabel_->setPalette(palette);
    showPortState(PortSession::State::Closed);

    PortSession* session = session_.get();
    connect(OpenPort_, &QPushButton::clicked, this, &TForm1::OpenPortClick);
    connect(ClosePort_, &QPushButton::clicked, this, &TForm1::ClosePortClick);
    // The text of the box is the port's name, and only a finished name is taken: one
    // chosen from the list at once, one typed when Enter confirms it or "Открыть" opens
    // it. A name taken at each keystroke passed through others on the way ("COM20"
    // through "COM2") and an open port was closed and reopened on each of them.
    // Activated also comes for the item already current, whose text typing had changed.
    connect(COM_, &QComboBox::currentIndexChanged, this, &TForm1::COMChange);
    connect(COM_, &QComboBox::activated, this, &TForm1::COMChange);
    connect(COM_->lineEdit(), &QLineEdit::returnPressed, this, &TForm1::COMChange);
    connect(COM_, &QComboBox::editTextChanged, session, &PortSession::nameTyped);
    connect(COM_, &PortComboBox::leaving, this, &TForm1::dropUnconfirmedPortName);
    connect(COM_, &PortComboBox::popupAboutToShow, session, &PortSession::readPortNames);
    COM_->setToolTipSource([this] { return session_->describe(COM_->currentText()); });
    connect(AutoReconnect_, &QAction::toggled, session, &PortSession::setAutomaticReconnect);
    connect(COMnastroika_, &QAction::triggered, this, &TForm1::COMnastroikaClick);

    connect(session, &PortSession::stateChanged, this, &TForm1::showPortState);
    connect(session, &PortSession::openAttempted, this,
            [this] { setPortStatus(portOpeningText(), kPortClosedColour); });
    connect(session, &PortSession::nameChanged, this, &TForm1::showPortName);
    connect(session, &PortSession::portNamesChanged, this, &TForm1::showPortList);
    connect(session, &PortSession::failed, this, [this](const QString& message) { showErrorBox(this, message); });
    connect(session, &PortSession::started, this, [this] {
        for (ui::FamilyMode* family : families_)
            family->portOpened();
    });
    connect(session, &PortSession::stopping, this, [this] {
        for (ui::FamilyMode* family : families_)
            family->portClosed();
    });
}

void TForm1::setPortStatus(const QString& text, const QColor& colour)
{
    Label11_->setText(text);
    QPalette palette = Label11_->palette();
    palette.setColor(QPalette::Window, colour);
    Label11_->setPalette(palette);
}

void TForm1::showPortState(PortSession::State state)
{
    // The two buttons show opposite states; while the console waits for a device both
    // are on: "Закрыть" ends the wait, "Открыть" tries at once. While a network line
    // connects, "Закрыть" gives the attempt up.
    OpenPort_->setEnabled(state != PortSession::State::Open && state != PortSession::State::Connecting);
    ClosePort_->setEnabled(state != PortSession::State::Closed);
    switch (state) {
    case PortSession::State::Closed:
        setPortStatus(portClosedText(), kPortClosedColour);
        break;
    case PortSession::State::Open:
        setPortStatus(portOpenText(), kPortOpenColour);
        break;
    case PortSession::State::Waiting:
        break;
    case PortSession::State::Connecting:
        setPortStatus(portOpeningText(), kPortClosedColour);
        break;
    }
    const QString name = session_->name();
    if (state == PortSession::State::Connecting) {
        PortWaitLabel_->setText(QStringLiteral("Соединяюсь с %1").arg(name));
        PortWaitLabel_->setToolTip(QStringLiteral("Соединение с %1 идёт; «Закрыть» — отказаться.").arg(name));
        PortWaitLabel_->show();
        return;
    }
    if (state != PortSession::State::Waiting) {
        PortWaitLabel_->hide();
        return;
    }
    PortWaitLabel_->setText(QStringLiteral("Жду устройство %1").arg(name));
    PortWaitLabel_->setToolTip(QStringLiteral("Устройство %1 отключено. Порт откроется снова, когда оно вернётся; "
                                              "«Закрыть» — не ждать.")
                                   .arg(name));
    PortWaitLabel_->show();
}

void TForm1::showPortList(const QStringList& items)
{
    QStringList shown;
    for (int item = 0; item < COM_->count(); ++item)
        shown << COM_->itemText(item);
    if (items == shown)
        return;
    // The text is the port's name: it stays as it is, and no change of it may reach
    // COMChange, which would close an open port.
    const QString text = COM_->currentText();
    const QSignalBlocker quiet(COM_);
    COM_->clear();
    COM_->addItems(items);
    showPortName(text);
}

void TForm1::showPortName(const QString& name)
{
    const QSignalBlocker quiet(COM_);
    const int item = COM_->findText(name);
    if (item >= 0)
        COM_->setCurrentIndex(item);
    COM_->setEditText(name);
}

void TForm1::Comportname()
{
    showPortName(session_->readPortNames().value(0));
}

void TForm1::refreshPortList()
{
    session_->readPortNames();
}

void TForm1::COMChange()
{
    session_->choose(COM_->currentText());
}

void TForm1::dropUnconfirmedPortName()
{
    // A name typed while the port is open and left without Enter is dropped: the box
    // shows the port that is open, never one that is not.
    if (session_->state() == PortSession::State::Open)
        showPortName(session_->name());
}

void TForm1::OpenPortClick()
{
    // The name in the box is the port opened, whatever was taken before. Each outcome
    // shows itself: the port corner follows the state (open, or connecting to a network
    // line, whose end comes the same way), and a failure has had its error box.
    switch (session_->open(COM_->currentText()).outcome) {
    case portsession::OpenResult::Outcome::Opened:
    case portsession::OpenResult::Outcome::Connecting:
    case portsession::OpenResult::Outcome::Failed: break;
    }
}

void TForm1::ClosePortClick()
{
    session_->close();
}

} // namespace mainwindow
