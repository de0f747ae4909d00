// The main window's port corner: the port list, "Открыть", "Закрыть", the status
// label, and the component's own events that change the port's state.

#include "tform1.h"

#include "errorboundary.h"
#include "familymode.h"
#include "portcombobox.h"
#include "portlist.h"
#include "portstatus.h"
#include "reconnection.h"
#include "transport.h"
#include "typedbox.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mainwindow {

void TForm1::setupPortControls()
{
    OpenPort_->setGeometry(40, 0, 57, 17);
    ClosePort_->setGeometry(96, 0, 57, 17);
    ClosePort_->setEnabled(false);
    ui::makeTypedBox(COM_);
    COM_->setGeometry(104, 24, 65, 19);
    COM_->addItems(ports::builtInPortNames());
    COM_->setCurrentIndex(0);
    // Never shown, but kept current: it is the record of the port's state.
    Label11_->setGeometry(176, 3, 185, 17);
    Label11_->setAlignment(Qt::AlignCenter);
    Label11_->setAutoFillBackground(true);
    Label11_->hide();
    setPortStatus(QStringLiteral("COM-порт закрыт"), kPortClosedColour);

    connect(OpenPort_, &QPushButton::clicked, this, &TForm1::OpenPortClick);
    connect(ClosePort_, &QPushButton::clicked, this, &TForm1::ClosePortClick);
    // The text of the box is the port's name, and only a finished name is taken: one
    // chosen from the list at once, one typed when Enter confirms it or "Открыть" opens
    // it. A name taken at each keystroke passed through others on the way ("COM20"
    // through "COM2") and an open port was closed and reopened on each of them.
    // Activated also comes for the item already current, whose text typing had changed.
    connect(COM_, &QComboBox::currentIndexChanged, this, [this] { COMChange(); });
    connect(COM_, &QComboBox::activated, this, [this] { COMChange(); });
    connect(COM_->lineEdit(), &QLineEdit::returnPressed, this, [this] { COMChange(); });
    connect(COM_, &QComboBox::editTextChanged, this, &TForm1::portNameEdited);
    connect(COM_, &PortComboBox::leaving, this, &TForm1::dropUnconfirmedPortName);
    connect(COMnastroika_, &QAction::triggered, this, &TForm1::COMnastroikaClick);
    COM_->setToolTipSource([this] {
        const QString name = COM_->currentText();
        const QString path = portDirectory_.resolveDevicePath(name);
        return path.isEmpty() ? QStringLiteral("Порт %1 на этом компьютере не найден").arg(name) : path;
    });
}

void TForm1::setupComm1()
{
    Comm1_.SetDeviceName("Com1");
    Comm1_.SetMonitorEvents({commport::TCommEventState::evRxChar});
    Comm1_.SetBaudRate(commport::TBaudRate::cbr4800);
    Comm1_.SetParity(commport::TParity::paNone);
    Comm1_.SetStopbits(commport::TStopbits::sb20);
    Comm1_.SetDatabits(commport::TDatabits::da8);
    Comm1_.SetReadBufSize(4096);
    Comm1_.SetWriteBufSize(1024);
    Comm1_.SetCharsTimeOut(1);
    Comm1_.SetFlowControl(commport::TFlowControl::fcDefault);
    Comm1_.SetDevicePathResolver([this](const std::string& name) {
        return portDirectory_.resolveDevicePath(QString::fromStdString(name)).toStdString();
    });
    Comm1_.SetMainThreadPoster([this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    });
    Comm1_.OnRxChar = [this](commport::TCustomComm*, int count) { transport_->Comm1RxChar(count); };
    Comm1_.OnDeviceLost = [this](commport::TCustomComm*) { Comm1DeviceLost(); };
    // Output the line could not take within the write time-out is dropped; the
    // operator learns of it in the log of the current mode.
    Comm1_.OnOutputDropped = [this](commport::TCustomComm*, int dropped) { transport_->reportOutputDropped(dropped); };
}

void TForm1::setPortStatus(const QString& text, const QColor& colour)
{
    Label11_->setText(text);
    QPalette palette = Label11_->palette();
    palette.setColor(QPalette::Window, colour);
    Label11_->setPalette(palette);
}

void TForm1::showClosedPortButtons()
{
    OpenPort_->setEnabled(true);
    ClosePort_->setEnabled(false);
}

void TForm1::showOpenPortButtons()
{
    OpenPort_->setEnabled(false);
    ClosePort_->setEnabled(true);
}

void TForm1::Comportname()
{
    const std::optional<QStringList> items = ports::portListItems(portDirectory_.entries());
    if (!items)
        return;
    const QSignalBlocker quiet(COM_);
    COM_->clear();
    COM_->addItems(*items);
    COM_->setCurrentIndex(0);
}

void TForm1::COMChange()
{
    const QString name = COM_->currentText();
    // Enter on the port's own name, or the list catching up with a name already taken:
    // nothing changes, so an open port stays open and a wait for its device goes on.
    if (name == QString::fromStdString(Comm1_.DeviceName()))
        return;
    const bool wasClosed = OpenPort_->isEnabled();
    Comm1_.Close();
    setPortStatus(portClosedText(), kPortClosedColour);
    showClosedPortButtons();

    Comm1_.SetDeviceName(name.toStdString());
    // Another port chosen: the device that vanished from the old one is not waited for.
    if (reconnection_->waiting() && reconnection_->waitedName() != name)
        reconnection_->stop();

    if (wasClosed)
        return;

    if (portNameKnown(name) && openPortShowingState())
        Comm1_.PurgeInput();
}

void TForm1::portNameEdited(const QString& text)
{
    // Typing another name while the console waits for a vanished device: the operator
    // has taken the port over, and the device is not reopened behind the box's back.
    if (reconnection_->waiting() && reconnection_->waitedName() != text)
        reconnection_->stop();
}

void TForm1::dropUnconfirmedPortName()
{
    // A name typed while the port is open and left without Enter is dropped: the box
    // shows the port that is open, never one that is not.
    const QString open = QString::fromStdString(Comm1_.DeviceName());
    if (OpenPort_->isEnabled() || COM_->currentText() == open)
        return;
    const QSignalBlocker quiet(COM_);
    const int item = COM_->findText(open);
    if (item >= 0)
        COM_->setCurrentIndex(item);
    COM_->setEditText(open);
}

bool TForm1::portNameKnown(const QString& name)
{
    // A device path is opened as it stands; a listed name goes to the component, which
    // says what it found there.
    if (name.startsWith(u'/') || COM_->findText(name) >= 0)
        return true;
    // Not in the list: the system's list is read once more, a port may have come since.
    const QList<ports::PortEntry> entries = portDirectory_.entries();
    showPortList(entries);
    for (const ports::PortEntry& entry : entries)
        if (entry.name == name)
            return true;
    showErrorBox(this, name.isEmpty() ? QStringLiteral("Порт не выбран: выберите его из списка.")
                                      : QStringLiteral("Порт «%1» не найден на этом компьютере.").arg(name));
    return false;
}

bool TForm1::openPortShowingState()
{
    setPortStatus(portOpeningText(), kPortClosedColour);
    if (!openComm1())
        return false;
    setPortStatus(portOpenText(), kPortOpenColour);
    showOpenPortButtons();
    reconnection_->portOpened(QString::fromStdString(Comm1_.DeviceName()), QString::fromStdString(Comm1_.DevicePath()));
    return true;
}

bool TForm1::openComm1()
{
    try {
        Comm1_.Open();
        return true;
    } catch (const std::exception& error) {
        // A device that opened but refused its settings stays held by the component;
        // the window shows the port closed, so it must really be closed.
        Comm1_.Close();
        const QString name = QString::fromStdString(Comm1_.DeviceName());
        const QString path = QString::fromStdString(Comm1_.DevicePath());
        showErrorBox(this, errorBoxText(error, path.isEmpty() ? name : name + QStringLiteral(": ") + path));
        return false;
    }
}

void TForm1::OpenPortClick()
{
    reconnection_->stop();
    // The name in the box is the port opened, whatever was taken before.
    const QString name = COM_->currentText();
    Comm1_.Close();
    Comm1_.SetDeviceName(name.toStdString());
    if (!portNameKnown(name) || !openPortShowingState())
        return;
    for (ui::FamilyMode* family : families_)
        family->portOpened();
}

void TForm1::ClosePortClick()
{
    reconnection_->stop();
    showClosedPortButtons();
    for (ui::FamilyMode* family : families_)
        family->portClosed();
    Comm1_.Close();
    setPortStatus(portClosedText(), kPortClosedColour);
}

void TForm1::Comm1DeviceLost()
{
    const QString name = QString::fromStdString(Comm1_.DeviceName());
    const QString path = QString::fromStdString(Comm1_.DevicePath());
    ClosePortClick();
    // No box: a pulled adapter is routine in the field, and the console waits for it.
    reconnection_->deviceLost(name, path);
}

} // namespace mainwindow
