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

namespace {

// The names the port list's text is matched against, exactly and case-sensitively.
constexpr int kHighestComNumber = 17;

} // namespace

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
    connect(COM_, &QComboBox::editTextChanged, this, [this] { COMChange(); });
    // A device path is taken when its typing is finished, not at every keystroke: a
    // half-typed path would close the port and fail to open at each character.
    connect(COM_->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (COM_->currentText().startsWith(u'/'))
            COMChange(true);
    });
    connect(COMnastroika_, &QAction::triggered, this, &TForm1::COMnastroikaClick);
    COM_->setToolTipSource([this] {
        const QString name = QString::fromStdString(Comm1_.DeviceName());
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

void TForm1::COMChange(bool acceptDevicePath)
{
    const bool wasClosed = OpenPort_->isEnabled();
    Comm1_.Close();
    setPortStatus(portClosedText(), kPortClosedColour);
    showClosedPortButtons();

    const QString text = COM_->currentText();
    for (int number = 1; number <= kHighestComNumber; ++number) {
        if (text == QStringLiteral("COM%1").arg(number)) {
            Comm1_.SetDeviceName(text.toStdString());
            break;
        }
    }
    if (acceptDevicePath && text.startsWith(u'/'))
        Comm1_.SetDeviceName(text.toStdString());
    // Another port chosen: the device that vanished from the old one is not waited for.
    if (reconnection_->waiting() && reconnection_->waitedName() != QString::fromStdString(Comm1_.DeviceName()))
        reconnection_->stop();

    if (wasClosed)
        return;

    if (openPortShowingState())
        Comm1_.PurgeInput();
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
    if (!openPortShowingState())
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
