// The port corner while devices come and go: the list read afresh when it opens and
// when the system's ports change, the waiting status, and the reopening of a device
// that came back.

#include "tform1.h"

#include "commerror.h"
#include "controlnames.h"
#include "familymode.h"
#include "portcombobox.h"
#include "portlist.h"
#include "portstatus.h"
#include "portwatcher.h"
#include "reconnection.h"
#include "transport.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace mainwindow {

void TForm1::setupPortWatching()
{
    AutoReconnect_ = ui::nameControl(N7_->addAction(QStringLiteral("Переподключать автоматически")), "AutoReconnect");
    AutoReconnect_->setCheckable(true);
    AutoReconnect_->setChecked(true);

    PortWaitLabel_ = ui::makeControl<QLabel>(clientArea_, "PortWaitLabel");
    // Under the port list, above the panels, which start at 56.
    PortWaitLabel_->setGeometry(8, 44, 168, 12);
    PortWaitLabel_->setAutoFillBackground(true);
    QPalette palette = PortWaitLabel_->palette();
    palette.setColor(QPalette::Window, kPortWaitingColour);
    PortWaitLabel_->setPalette(palette);
    PortWaitLabel_->hide();

    reconnection_ = new Reconnection(
        portDirectory_,
        ReconnectionHooks{
            .reopen = [this](const ports::ReturnedDevice& device) { return reopenReturnedDevice(device); },
            .lineBusy = [this] { return transport_->busy(); },
            .notice = [this](const QString& line) { logPortNotice(line); },
            .showWaiting = [this](const QString& name) { showPortWaiting(name); },
        },
        this);
    connect(AutoReconnect_, &QAction::toggled, reconnection_, &Reconnection::setAutomatic);
    // A virtual ports folder another user could have planted is left alone, and said so.
    portDirectory_.setNoticeHandler([this](const QString& line) { logPortNotice(line); });

    auto* watcher = new ports::PortWatcher(portDirectory_.roots(), this);
    connect(watcher, &ports::PortWatcher::portsChanged, this, [this] {
        refreshPortList();
        reconnection_->portsChanged();
    });
    connect(COM_, &PortComboBox::popupAboutToShow, this, &TForm1::refreshPortList);
}

void TForm1::logPortNotice(const QString& line)
{
    const int item = mode();
    if (item >= 0 && item < static_cast<int>(families_.size()))
        families_[static_cast<std::size_t>(item)]->lineNotice(line);
}

void TForm1::refreshPortList()
{
    showPortList(portDirectory_.entries());
}

void TForm1::showPortList(const QList<ports::PortEntry>& entries)
{
    const std::optional<QStringList> listed = ports::portListItems(entries);
    const QStringList items = listed ? *listed : ports::builtInPortNames();
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
    const int item = COM_->findText(text);
    if (item >= 0)
        COM_->setCurrentIndex(item);
    else
        COM_->setEditText(text);
}

void TForm1::showPortWaiting(const QString& name)
{
    if (name.isEmpty()) {
        PortWaitLabel_->hide();
        ClosePort_->setEnabled(Comm1_.IsOpen());
        return;
    }
    PortWaitLabel_->setText(QStringLiteral("Жду устройство %1").arg(name));
    PortWaitLabel_->setToolTip(QStringLiteral("Устройство %1 отключено. Порт откроется снова, когда оно вернётся; "
                                              "«Закрыть» — не ждать.")
                                   .arg(name));
    PortWaitLabel_->show();
    // "Закрыть" ends the wait; "Открыть" tries at once.
    ClosePort_->setEnabled(true);
    OpenPort_->setEnabled(true);
}

ReopenResult TForm1::reopenReturnedDevice(const ports::ReturnedDevice& device)
{
    // The adapter may have come back under another number, and the box may hold a name
    // typed and never confirmed: the box shows the port that opens.
    Comm1_.SetDeviceName(device.name.toStdString());
    if (COM_->currentText() != device.name) {
        const QSignalBlocker quiet(COM_);
        const int item = COM_->findText(device.name);
        if (item >= 0)
            COM_->setCurrentIndex(item);
        else
            COM_->setEditText(device.name);
    }
    setPortStatus(portOpeningText(), kPortClosedColour);
    ReopenResult result;
    try {
        Comm1_.Open();
        Comm1_.PurgeInput();
    } catch (const std::exception& error) {
        result.message = QString::fromLocal8Bit(error.what());
        const auto* comm = dynamic_cast<const commport::ECommError*>(&error);
        result.errorCode = comm ? comm->ErrorCode : -1;
        result.devicePath = QString::fromStdString(Comm1_.DevicePath());
        try {
            Comm1_.Close();
        } catch (const std::exception&) {
            // Closing a device that failed its settings has nothing more to report.
        }
        return result;
    }
    result.opened = true;
    result.devicePath = QString::fromStdString(Comm1_.DevicePath());
    COM_->setToolTip(result.devicePath);
    setPortStatus(portOpenText(), kPortOpenColour);
    showOpenPortButtons();
    for (ui::FamilyMode* family : families_)
        family->portOpened();
    return result;
}

} // namespace mainwindow
