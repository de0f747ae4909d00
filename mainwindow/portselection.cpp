// The main window's port corner: the port list, "Открыть", "Закрыть", the status
// label, and the component's own events that change the port's state.

#include "tform1.h"

#include "errorboundary.h"
#include "portlist.h"

#include <QMessageBox>

namespace mainwindow {

namespace {

const QColor kClosedColour(255, 0, 0);
const QColor kOpenColour(0, 128, 0);

// The names the port list's text is matched against, exactly and case-sensitively.
constexpr int kHighestComNumber = 17;

} // namespace

void TForm1::setupPortControls()
{
    OpenPort->setGeometry(40, 0, 57, 17);
    ClosePort->setGeometry(96, 0, 57, 17);
    ClosePort->setEnabled(false);
    COM->setEditable(true);
    COM->setInsertPolicy(QComboBox::NoInsert);
    COM->setGeometry(104, 24, 65, 19);
    COM->addItems(ports::builtInPortNames());
    COM->setCurrentIndex(0);
    // Never shown, but kept current: it is the record of the port's state.
    Label11->setGeometry(176, 3, 185, 17);
    Label11->setAlignment(Qt::AlignCenter);
    Label11->setAutoFillBackground(true);
    Label11->hide();
    setPortStatus(QStringLiteral("COM-порт закрыт"), kClosedColour);

    connect(OpenPort, &QPushButton::clicked, this, &TForm1::OpenPortClick);
    connect(ClosePort, &QPushButton::clicked, this, &TForm1::ClosePortClick);
    connect(COM, &QComboBox::editTextChanged, this, [this] { COMChange(); });
    // A device path is taken when its typing is finished, not at every keystroke: a
    // half-typed path would close the port and fail to open at each character.
    connect(COM->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (COM->currentText().startsWith(u'/'))
            COMChange(true);
    });
    connect(COMnastroika, &QAction::triggered, this, &TForm1::COMnastroikaClick);
}

void TForm1::setupComm1()
{
    Comm1.SetDeviceName("Com1");
    Comm1.SetMonitorEvents({commport::TCommEventState::evRxChar});
    Comm1.SetBaudRate(commport::TBaudRate::cbr4800);
    Comm1.SetParity(commport::TParity::paNone);
    Comm1.SetStopbits(commport::TStopbits::sb20);
    Comm1.SetDatabits(commport::TDatabits::da8);
    Comm1.SetReadBufSize(4096);
    Comm1.SetWriteBufSize(1024);
    Comm1.SetCharsTimeOut(1);
    Comm1.SetFlowControl(commport::TFlowControl::fcDefault);
    Comm1.SetDevicePathResolver([this](const std::string& name) {
        return portDirectory.resolveDevicePath(QString::fromStdString(name)).toStdString();
    });
    Comm1.SetMainThreadPoster([this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    });
    Comm1.OnRxChar = [this](commport::TCustomComm*, int count) { transport->Comm1RxChar(count); };
    Comm1.OnDeviceLost = [this](commport::TCustomComm*) { Comm1DeviceLost(); };
}

void TForm1::setPortStatus(const QString& text, const QColor& colour)
{
    Label11->setText(text);
    QPalette palette = Label11->palette();
    palette.setColor(QPalette::Window, colour);
    Label11->setPalette(palette);
}

void TForm1::showClosedPortButtons()
{
    OpenPort->setEnabled(true);
    ClosePort->setEnabled(false);
}

void TForm1::showOpenPortButtons()
{
    OpenPort->setEnabled(false);
    ClosePort->setEnabled(true);
}

void TForm1::Comportname()
{
    const std::optional<QStringList> items = ports::portListItems(portDirectory.entries());
    if (!items)
        return;
    const QSignalBlocker quiet(COM);
    COM->clear();
    COM->addItems(*items);
    COM->setCurrentIndex(0);
}

void TForm1::COMChange(bool acceptDevicePath)
{
    const bool wasClosed = OpenPort->isEnabled();
    Comm1.Close();
    setPortStatus(QStringLiteral("COM-порт ЗАКРЫТ"), kClosedColour);
    showClosedPortButtons();

    const QString text = COM->currentText();
    for (int number = 1; number <= kHighestComNumber; ++number) {
        if (text == QStringLiteral("COM%1").arg(number)) {
            Comm1.SetDeviceName(text.toStdString());
            break;
        }
    }
    if (acceptDevicePath && text.startsWith(u'/'))
        Comm1.SetDeviceName(text.toStdString());

    const QString path = portDirectory.resolveDevicePath(QString::fromStdString(Comm1.DeviceName()));
    COM->setToolTip(path.isEmpty() ? QStringLiteral("Порт %1 на этом компьютере не найден")
                                         .arg(QString::fromStdString(Comm1.DeviceName()))
                                   : path);
    if (wasClosed)
        return;

    setPortStatus(QStringLiteral("Устройство не подключено! COM-порт ЗАКРЫТ"), kClosedColour);
    if (!openComm1())
        return;
    setPortStatus(QStringLiteral("COM-порт ОТКРЫТ"), kOpenColour);
    showOpenPortButtons();
    Comm1.PurgeInput();
}

bool TForm1::openComm1()
{
    try {
        Comm1.Open();
        return true;
    } catch (const std::exception& error) {
        // A device that opened but refused its settings stays held by the component;
        // the window shows the port closed, so it must really be closed.
        Comm1.Close();
        const QString name = QString::fromStdString(Comm1.DeviceName());
        const QString path = QString::fromStdString(Comm1.DevicePath());
        showErrorBox(this, errorBoxText(error, path.isEmpty() ? name : name + QStringLiteral(": ") + path));
        return false;
    }
}

void TForm1::OpenPortClick()
{
    setPortStatus(QStringLiteral("Устройство не подключено! COM-порт ЗАКРЫТ"), kClosedColour);
    if (!openComm1())
        return;
    setPortStatus(QStringLiteral("COM-порт ОТКРЫТ"), kOpenColour);
    showOpenPortButtons();
    meterPanel->ERK2Panel->setEnabled(true);
}

void TForm1::ClosePortClick()
{
    showClosedPortButtons();
    meterPanel->Timer2->stop();
    Comm1.Close();
    setPortStatus(QStringLiteral("COM-порт ЗАКРЫТ"), kClosedColour);
    meterPanel->ERK2Panel->setEnabled(false);
}

void TForm1::Comm1DeviceLost()
{
    const QString name = QString::fromStdString(Comm1.DeviceName());
    const QString path = QString::fromStdString(Comm1.DevicePath());
    ClosePortClick();
    showErrorBox(this, QStringLiteral("Устройство %1 (%2) отключено. COM-порт закрыт.").arg(name, path));
}

} // namespace mainwindow
