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
        return;
    }
    opened_ = ports::identifyDevice(name, devicePath, directory_);
}

void Reconnection::deviceLost(const QString& name, const QString& devicePath)
{
    stop();
    if (isNetworkName(name)) {
        opened_.reset();
        hooks_.notice(deviceText(name, devicePath)
                      + (automatic_ ? QStringLiteral(" отключено: порт закрыт, жду повторного подключения")
                                    : QStringLiteral(" отключено: порт закрыт")));
        if (!automatic_)
            return;
        lost_ = ports::DeviceIdentity{name, devicePath, {}, {}};
        network_ = true;
        failureLogged_ = false;
        networkPauseMs_ = kFirstNetworkPauseMs;
        retryLater(networkPauseMs_);
        hooks_.showWaiting(name);
        return;
    }
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
        portOpened(name, result.devicePath);
        hooks_.notice(deviceText(name, result.devicePath) + QStringLiteral(" подключено снова, порт открыт"));
        return;
    }
    // A server that is back but refuses the line (its settings, the COM port option) is
    // said once per wait; one that is not there yet is waited for in silence.
    if (!failureLogged_ && !serverAbsent(result.errorCode)) {
        failureLogged_ = true;
        hooks_.notice(deviceText(name, result.devicePath)
                      + QStringLiteral(" отвечает, но порт не открывается: %1; жду дальше").arg(result.message));
    }
    networkPauseMs_ = std::min(networkPauseMs_ * 2, kLongestNetworkPauseMs);
    retryLater(networkPauseMs_);
}

} // namespace portsession
