#include "portsession.h"

#include "commerror.h"
#include "net/netconnection.h"
#include "networkopen.h"
#include "networktexts.h"
#include "openfailure.h"
#include "portlist.h"
#include "portwatcher.h"
#include "reconnection.h"

#include <QEventLoop>
#include <QMetaObject>

#include <utility>

namespace portsession {

namespace {

// How many network lines of this run the port list offers.
constexpr qsizetype kRecentNetworkNames = 5;

} // namespace

PortSession::PortSession(QObject* parent)
    : PortSession(ports::PortRoots::thisMachine(), parent)
{
}

PortSession::PortSession(ports::PortRoots roots, QObject* parent)
    : QObject(parent)
    , directory_(std::move(roots))
    , listed_(ports::builtInPortNames())
{
    setObjectName(QStringLiteral("PortSession"));
    setUpComm();
    setUpWatching();
}

PortSession::~PortSession()
{
    comm_.Close();
}

void PortSession::setUpComm()
{
    // The line as the console starts with it: 4800 bit/s, 8 data bits, no parity, 2 stop
    // bits, no handshake; the settings window changes it.
    comm_.SetMonitorEvents({commport::TCommEventState::evRxChar});
    comm_.SetBaudRate(commport::TBaudRate::cbr4800);
    comm_.SetParity(commport::TParity::paNone);
    comm_.SetStopbits(commport::TStopbits::sb20);
    comm_.SetDatabits(commport::TDatabits::da8);
    comm_.SetReadBufSize(4096);
    comm_.SetWriteBufSize(1024);
    comm_.SetCharsTimeOut(1);
    comm_.SetFlowControl(commport::TFlowControl::fcDefault);
    comm_.SetDevicePathResolver([this](const std::string& name) {
        // A network line is reached by its name as it stands.
        if (commport::net::IsNetworkName(name))
            return name;
        return directory_.resolveDevicePath(QString::fromStdString(name)).toStdString();
    });
    // The call itself waits under a std::mutex and only a wake-up by name goes through
    // Qt's queue. A functor posted through that queue would cross threads inside Qt's
    // own code, which the thread sanitizer does not see, so it could not tell a hand-over
    // from a race.
    comm_.SetMainThreadPoster([this](std::function<void()> call) {
        {
            std::lock_guard lock(postedMutex_);
            postedCalls_.push_back(std::move(call));
        }
        QMetaObject::invokeMethod(this, "runPostedCall", Qt::QueuedConnection);
    });
    comm_.OnRxChar = [this](commport::TCustomComm*, int count) {
        emit bytesWaiting(count);
        noteInputHeld(count);
    };
    comm_.OnDeviceLost = [this](commport::TCustomComm*) { deviceLost(); };
    comm_.OnOutputDropped = [this](commport::TCustomComm*, int dropped) { emit outputDropped(dropped); };
}

void PortSession::runPostedCall()
{
    std::function<void()> call;
    {
        std::lock_guard lock(postedMutex_);
        if (postedCalls_.empty())
            return;
        call = std::move(postedCalls_.front());
        postedCalls_.pop_front();
    }
    call();
}

void PortSession::setUpWatching()
{
    reconnection_ = std::make_unique<Reconnection>(
        directory_,
        ReconnectionHooks{
            .reopen = [this](const ports::ReturnedDevice& device) { return reopenReturnedDevice(device); },
            .lineBusy = [this] { return lineBusy_ && lineBusy_(); },
            .notice = [this](const QString& line) { emit notice(line); },
            .showWaiting = [this](const QString&) { updateState(); },
            .connect = [this](const QString&) { startConnecting(OpenPurpose::Reopen); },
        });
    // A virtual ports folder another user could have planted is left alone, and said so.
    directory_.setNoticeHandler([this](const QString& line) { emit notice(line); });

    watcher_ = new ports::PortWatcher(directory_.roots(), this);
    connect(watcher_, &ports::PortWatcher::portsChanged, this, [this] {
        readPortNames();
        reconnection_->portsChanged();
    });
}

QString PortSession::name() const
{
    return QString::fromStdString(comm_.DeviceName());
}

QString PortSession::devicePath() const
{
    return QString::fromStdString(comm_.DevicePath());
}

QStringList PortSession::readPortNames()
{
    const std::optional<QStringList> items = ports::portListItems(directory_.entries());
    listed_ = items ? *items : ports::builtInPortNames();
    emit portNamesChanged(offered());
    return offered();
}

QStringList PortSession::offered() const
{
    return listed_ + recentNetworkNames_;
}

void PortSession::rememberNetworkName(const QString& name)
{
    recentNetworkNames_.removeAll(name);
    recentNetworkNames_.prepend(name);
    recentNetworkNames_ = recentNetworkNames_.mid(0, kRecentNetworkNames);
    emit portNamesChanged(offered());
}

QString PortSession::describe(const QString& name) const
{
    if (isNetworkName(name))
        return describeNetworkName(name);
    const QString path = directory_.resolveDevicePath(name);
    return path.isEmpty() ? QStringLiteral("Порт %1 на этом компьютере не найден").arg(name) : path;
}

bool PortSession::knows(const QString& name)
{
    // A device path is opened as it stands; a listed name goes to the component, which
    // says what it found there.
    if (name.startsWith(u'/') || listed_.contains(name))
        return true;
    // A network name is the line it names, once it is a valid one: nothing is opened
    // (nor looked up) for one that is not.
    if (isNetworkName(name)) {
        commport::net::NameFault fault = commport::net::NameFault::None;
        if (commport::net::ParseNetworkName(name.toStdString(), &fault))
            return true;
        fail(invalidNetworkNameText(name, fault));
        return false;
    }
    // Not in the list: the system's list is read once more, a port may have come since.
    const QList<ports::PortEntry> entries = directory_.entries();
    const std::optional<QStringList> items = ports::portListItems(entries);
    listed_ = items ? *items : ports::builtInPortNames();
    emit portNamesChanged(offered());
    for (const ports::PortEntry& entry : entries)
        if (entry.name == name)
            return true;
    fail(name.isEmpty() ? QStringLiteral("Порт не выбран: выберите его из списка.")
                               : QStringLiteral("Порт «%1» не найден на этом компьютере.").arg(name));
    return false;
}

bool PortSession::openShowingFailure()
{
    emit openAttempted();
    try {
        comm_.Open();
    } catch (const std::exception& error) {
        const commport::TCommLastError lastError = comm_.LastError();
        // A device that opened but refused its settings stays held by the component;
        // the port is shown closed, so it must really be closed.
        comm_.Close();
        const QString path = devicePath();
        if (isNetworkName(name()))
            fail(networkOpenFailureText(error, name(), lastError));
        else
            fail(ports::failureText(error, path.isEmpty() ? name() : name() + QStringLiteral(": ") + path));
        return false;
    }
    reconnection_->portOpened(name(), devicePath());
    return true;
}

void PortSession::closeComm()
{
    comm_.Close();
}

void PortSession::startConnecting(OpenPurpose purpose)
{
    dropConnecting();
    connectPurpose_ = purpose;
    connecting_ = new NetworkOpen(name(), comm_.LineSettings(), this);
    connect(connecting_, &NetworkOpen::finished, this, &PortSession::connectEnded);
    // A reconnection's attempt goes on under the waiting state.
    if (purpose == OpenPurpose::Reopen)
        return;
    updateState();
    emit openAttempted();
}

void PortSession::dropConnecting()
{
    if (connecting_)
        std::exchange(connecting_, nullptr)->abandon();
}

void PortSession::connectEnded()
{
    NetworkOpen* attempt = std::exchange(connecting_, nullptr);
    attempt->deleteLater();
    commport::backend::SystemError error;
    std::unique_ptr<commport::net::Connection> connection = attempt->take(error);
    const QString lineName = attempt->name();

    if (connectPurpose_ == OpenPurpose::Reopen) {
        if (!reconnection_->waiting())
            return;
        ReopenResult result;
        // Under a reply window that still runs the line is not reopened: the next try.
        if (connection && lineBusy_ && lineBusy_()) {
            connection.reset();
            error = {commport::CommErrorKind::Busy, ETIMEDOUT, "a reply is still awaited"};
        }
        if (connection) {
            comm_.SetPreparedConnection(std::move(connection));
            result = reopenReturnedDevice(ports::ReturnedDevice{lineName, lineName});
        } else {
            result.errorCode = error.code;
            result.message = QString::fromStdString(error.text);
            result.devicePath = lineName;
        }
        reconnection_->networkAttemptEnded(result);
        return;
    }

    if (!connection) {
        updateState();
        fail(connectFailureText(lineName, error));
        return;
    }
    comm_.SetPreparedConnection(std::move(connection));
    if (!openShowingFailure()) {
        updateState();
        return;
    }
    rememberNetworkName(lineName);
    if (connectPurpose_ == OpenPurpose::Change)
        comm_.PurgeInput();
    updateState();
    if (connectPurpose_ == OpenPurpose::Operator)
        emit started();
    if (const auto parsed = commport::net::ParseNetworkName(lineName.toStdString());
        parsed && parsed->scheme == commport::net::LineScheme::RawTcp)
        emit notice(rawLineNotice(lineName));
}

void PortSession::fail(const QString& message)
{
    lastFailure_ = message;
    emit failed(message);
}

OpenResult PortSession::open(const QString& name)
{
    // An open port is closed first, as "Закрыть" closes it, so that its state is not
    // left shown when the new name opens nothing.
    if (state_ == State::Open || state_ == State::Connecting) {
        close();
    } else {
        reconnection_->stop();
        dropConnecting();
        closeComm();
    }
    // The name given is the port opened, whatever was taken before.
    comm_.SetDeviceName(name.toStdString());
    lastFailure_.clear();
    inputHeldSaid_ = false;
    if (isNetworkName(name)) {
        if (!knows(name))
            return {OpenResult::Outcome::Failed, lastFailure_};
        startConnecting(OpenPurpose::Operator);
        return {OpenResult::Outcome::Connecting, {}};
    }
    // A failure leaves the state as it was, and the attempt shown as it ended.
    if (!knows(name) || !openShowingFailure())
        return {OpenResult::Outcome::Failed, lastFailure_};
    updateState();
    emit started();
    return {OpenResult::Outcome::Opened, {}};
}

OpenResult PortSession::openAndWait(const QString& name)
{
    OpenResult result = open(name);
    if (result.outcome != OpenResult::Outcome::Connecting)
        return result;
    // The connect ends by itself within its time limits, in `started` or `failed`.
    QEventLoop loop;
    const QMetaObject::Connection ended = connect(this, &PortSession::started, &loop, &QEventLoop::quit);
    const QMetaObject::Connection refused = connect(this, &PortSession::failed, &loop, &QEventLoop::quit);
    if (connecting_)
        loop.exec();
    disconnect(ended);
    disconnect(refused);
    if (comm_.IsOpen())
        return {OpenResult::Outcome::Opened, {}};
    return {OpenResult::Outcome::Failed, lastFailure_};
}

void PortSession::choose(const QString& name)
{
    // The port's own name again, or the list catching up with a name already taken:
    // nothing changes, so an open port stays open and a wait for its device goes on.
    if (name == this->name())
        return;
    const bool wasOpen = state_ == State::Open || state_ == State::Connecting;
    dropConnecting();
    closeComm();
    comm_.SetDeviceName(name.toStdString());
    inputHeldSaid_ = false;
    // Another port chosen: the device that vanished from the old one is not waited for.
    if (reconnection_->waiting() && reconnection_->waitedName() != name)
        reconnection_->stop();
    updateState();
    if (!wasOpen)
        return;
    if (isNetworkName(name)) {
        if (knows(name))
            startConnecting(OpenPurpose::Change);
        return;
    }
    if (knows(name) && openShowingFailure()) {
        comm_.PurgeInput();
        updateState();
    }
}

void PortSession::close()
{
    reconnection_->stop();
    dropConnecting();
    emit stopping();
    closeComm();
    updateState();
}

void PortSession::nameTyped(const QString& name)
{
    // Typing another name while the console waits for a vanished device: the operator
    // has taken the port over, and the device is not reopened behind the list's back.
    if (reconnection_->waiting() && reconnection_->waitedName() != name)
        reconnection_->stop();
}

bool PortSession::automaticReconnect() const
{
    return reconnection_->automatic();
}

void PortSession::setAutomaticReconnect(bool on)
{
    reconnection_->setAutomatic(on);
}

void PortSession::deviceLost()
{
    const QString lostName = name();
    const QString lostPath = devicePath();
    const commport::TCommLastError why = comm_.LastError();
    // Closed as "Закрыть" closes it, but the reconnection keeps its count: a network line
    // that drops soon after it opened is one more failed try of the same wait.
    dropConnecting();
    emit stopping();
    closeComm();
    updateState();
    // No error box: a pulled adapter is routine in the field, and the console waits.
    reconnection_->deviceLost(lostName, lostPath,
                              LossCause{QString::fromStdString(why.Message),
                                        why.Kind == commport::CommErrorKind::Misbehaved});
}

void PortSession::noteInputHeld(int count)
{
    // A serial driver drops what overflows its buffer; a network line holds the server
    // back instead (commport/net), and the operator is told once why nothing more comes.
    if (inputHeldSaid_ || count < 0 || static_cast<std::size_t>(count) < commport::net::kInputLimit
        || !isNetworkName(name()))
        return;
    inputHeldSaid_ = true;
    emit notice(inputHeldText(name(), static_cast<std::size_t>(count)));
}

ReopenResult PortSession::reopenReturnedDevice(const ports::ReturnedDevice& device)
{
    // The adapter may have come back under another number: the name follows it.
    comm_.SetDeviceName(device.name.toStdString());
    emit nameChanged(device.name);
    emit openAttempted();
    ReopenResult result;
    try {
        comm_.Open();
        comm_.PurgeInput();
    } catch (const std::exception& error) {
        result.message = QString::fromLocal8Bit(error.what());
        const auto* comm = dynamic_cast<const commport::ECommError*>(&error);
        result.errorCode = comm ? comm->ErrorCode : -1;
        result.devicePath = devicePath();
        try {
            comm_.Close();
        } catch (const std::exception&) {
            // Closing a device that failed its settings has nothing more to report.
        }
        return result;
    }
    result.opened = true;
    result.devicePath = devicePath();
    updateState();
    emit started();
    return result;
}

void PortSession::updateState()
{
    if (comm_.IsOpen())
        state_ = State::Open;
    else if (connecting_ && connectPurpose_ != OpenPurpose::Reopen)
        state_ = State::Connecting;
    else
        state_ = reconnection_->waiting() ? State::Waiting : State::Closed;
    // Also when the state stays: a change of port shows the port closed again even
    // when it was closed already.
    emit stateChanged(state_);
}

} // namespace portsession
