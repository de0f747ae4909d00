#include "reconnection.h"

#include "networktexts.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace portsession {

namespace {

// A reply window is at most a couple of seconds; the reopen waits for its end.
constexpr int kBusyRetryMs = 50;
// The node of a USB adapter comes first, its group and mode a moment later: an open
// refused right after the notice is tried again, for about a second.
constexpr int kOpenRetryMs = 200;
constexpr int kOpenAttempts = 6;
// A network line is tried again after these pauses: 0.5 s, doubled each time, at most 10 s.
constexpr int kFirstNetworkPauseMs = 500;
constexpr int kLongestNetworkPauseMs = 10000;
// A network line that ends within this of its opening was no connection: the server
// accepts and closes at once (its port held by another client, the server going down).
constexpr int kShortLivedMs = 3000;

// Failures that only say the device is not (or no longer) there.
bool deviceAbsent(int errorCode)
{
    return errorCode == ENOENT || errorCode == ENODEV || errorCode == ENXIO || errorCode == EIO;
}

QString deviceText(const QString& name, const QString& devicePath)
{
    // A network line's name is its own path: said once.
    if (devicePath.isEmpty() || devicePath == name)
        return QStringLiteral("Устройство %1").arg(name);
    return QStringLiteral("Устройство %1 (%2)").arg(name, devicePath);
}

} // namespace

Reconnection::Reconnection(const ports::PortDirectory& directory, ReconnectionHooks hooks, QObject* parent)
    : QObject(parent)
    , directory_(directory)
    , hooks_(std::move(hooks))
{
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Reconnection::attempt);
    settled_.setSingleShot(true);
    connect(&settled_, &QTimer::timeout, this, &Reconnection::networkSettled);
}

void Reconnection::setAutomatic(bool on)
{
    automatic_ = on;
    if (!on)
        stop();
}

void Reconnection::portOpened(const QString& name, const QString& devicePath)
{
    stop();
    if (isNetworkName(name)) {
        opened_.reset();
        networkOpened(name, false);
        return;
    }
    opened_ = ports::identifyDevice(name, devicePath, directory_);
}

void Reconnection::networkOpened(const QString& name, bool reopened)
{
    recentlyOpened_ = name;
    openedSince_.start();
    settled_.start(kShortLivedMs);
    if (!reopened)
        return;
    // Once the server has been seen closing at once, a return is said when it has lasted:
    // one that ends at once was only another try.
    if (closedAtOnce_ > 0) {
        returnUnsaid_ = true;
    } else {
        returnSaid_ = true;
        hooks_.notice(deviceText(name, name) + QStringLiteral(" подключено снова, порт открыт"));
    }
}

void Reconnection::networkSettled()
{
    if (returnUnsaid_)
        hooks_.notice(deviceText(recentlyOpened_, recentlyOpened_) + QStringLiteral(" подключено снова, порт открыт"));
    endSeries();
}

void Reconnection::endSeries()
{
    settled_.stop();
    recentlyOpened_.clear();
    networkPauseMs_ = 0;
    lossSaid_ = false;
    closedAtOnce_ = 0;
    closesAtOnceSaid_ = false;
    returnSaid_ = false;
    misbehaviourSaid_ = false;
    returnUnsaid_ = false;
}

int Reconnection::nextNetworkPause()
{
    networkPauseMs_ =
        networkPauseMs_ == 0 ? kFirstNetworkPauseMs : std::min(networkPauseMs_ * 2, kLongestNetworkPauseMs);
    return networkPauseMs_;
}

void Reconnection::sayOnce(bool& said, const QString& line)
{
    if (std::exchange(said, true))
        return;
    hooks_.notice(line);
}

void Reconnection::closedAtOnce(const QString& device, const QString& said, bool afterSaidReturn)
{
    // Once is a server stopped just then; twice, or a return just said that ends, is a
    // server that closes each connection (its port held by another client), and the
    // tries go on at growing pauses.
    if (++closedAtOnce_ >= 2 || afterSaidReturn)
        sayOnce(closesAtOnceSaid_, closesAtOnceText(device, said, kLongestNetworkPauseMs));
}

void Reconnection::deviceLost(const QString& name, const QString& devicePath, const LossCause& cause)
{
    endWait();
    if (isNetworkName(name)) {
        opened_.reset();
        const bool atOnce = recentlyOpened_ == name && openedSince_.elapsed() < kShortLivedMs;
        // A return said a moment ago that ends at once was no return.
        const bool saidReturnEnded = atOnce && std::exchange(returnSaid_, false);
        settled_.stop();
        recentlyOpened_.clear();
        returnUnsaid_ = false;
        // A connection that lasted begins a series of tries; one that ended at once, or
        // that was dropped for breaking the protocol, was a try of the series under way,
        // or of the operator's open.
        if ((!atOnce && !cause.misbehaved) || !automatic_)
            endSeries();
        if (!automatic_) {
            hooks_.notice(deviceText(name, devicePath) + QStringLiteral(" отключено: порт закрыт"));
            return;
        }
        sayOnce(lossSaid_,
                deviceText(name, devicePath) + QStringLiteral(" отключено: порт закрыт, жду повторного подключения"));
        if (cause.misbehaved)
            sayOnce(misbehaviourSaid_, deviceText(name, devicePath) + QStringLiteral(": ") + misbehavingServerText(cause.said));
        else if (atOnce)
            closedAtOnce(deviceText(name, devicePath), cause.said, saidReturnEnded);
        lost_ = ports::DeviceIdentity{name, devicePath, {}, {}};
        network_ = true;
        failureLogged_ = false;
        retryLater(nextNetworkPause());
        hooks_.showWaiting(name);
        return;
    }
    endSeries();
    // The by-id link may be gone already: what was taken at the open counts.
    ports::DeviceIdentity identity = opened_ && opened_->name == name && opened_->devicePath == devicePath
        ? *opened_
        : ports::identifyDevice(name, devicePath, directory_);
    opened_.reset();
    const bool wait = automatic_ && ports::canReturn(identity, directory_);
    hooks_.notice(deviceText(name, devicePath)
                  + (wait ? QStringLiteral(" отключено: порт закрыт, жду повторного подключения")
                          : QStringLiteral(" отключено: порт закрыт")));
    if (!wait)
        return;
    lost_ = std::move(identity);
    failureLogged_ = false;
    hooks_.showWaiting(name);
}

void Reconnection::stop()
{
    endWait();
    endSeries();
}

void Reconnection::endWait()
{
    retry_.stop();
    network_ = false;
    if (!lost_)
        return;
    lost_.reset();
    hooks_.showWaiting({});
}

void Reconnection::portsChanged()
{
    if (!lost_ || network_)
        return;
    attemptsLeft_ = kOpenAttempts;
    attempt();
}

void Reconnection::retryLater(int ms)
{
    retry_.start(ms);
}

void Reconnection::attempt()
{
    if (!lost_)
        return;
    if (hooks_.lineBusy()) {
        retryLater(kBusyRetryMs);
        return;
    }
    if (network_) {
        hooks_.connect(lost_->name);
        return;
    }
    const std::optional<ports::ReturnedDevice> back = ports::findReturnedDevice(*lost_, directory_);
    if (!back)
        return;
    const ReopenResult result = hooks_.reopen(*back);
    if (result.opened) {
        portOpened(back->name, result.devicePath);
        hooks_.notice(deviceText(back->name, result.devicePath) + QStringLiteral(" подключено снова, порт открыт"));
        return;
    }
    if (--attemptsLeft_ > 0) {
        retryLater(kOpenRetryMs);
        return;
    }
    // Said once per wait: a device that is back but refused (held by another program,
    // no permission) stays refused until the operator acts or it changes again.
    if (!failureLogged_ && !deviceAbsent(result.errorCode)) {
        failureLogged_ = true;
        hooks_.notice(deviceText(back->name, result.devicePath)
                      + QStringLiteral(" подключено снова, но не открывается: %1; жду дальше").arg(result.message));
    }
}

} // namespace portsession

namespace portsession {

void Reconnection::networkAttemptEnded(const ReopenResult& result)
{
    if (!lost_ || !network_)
        return;
    const QString name = lost_->name;
    if (result.opened) {
        // The series goes on until the connection has lasted.
        endWait();
        opened_.reset();
        networkOpened(name, true);
        return;
    }
    // A server that is back but refuses the line (its settings, the COM port option) is
    // said once per wait, and so is one that closes each connection at once; one that
    // is not there yet is waited for in silence.
    if (serverClosedAtOnce(result.errorCode)) {
        closedAtOnce(deviceText(name, result.devicePath), result.message, false);
    } else if (!failureLogged_ && !serverAbsent(result.errorCode)) {
        failureLogged_ = true;
        hooks_.notice(deviceText(name, result.devicePath)
                      + QStringLiteral(" отвечает, но порт не открывается: %1; жду дальше").arg(result.message));
    }
    retryLater(nextNetworkPause());
}

} // namespace portsession
