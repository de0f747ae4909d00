// The port watcher on Windows: the system's notice of a change to the registry key that
// lists the ports, asked for anew after each one.

#include "portwatcher.h"

#include "registrykey.h"

#include <QWinEventNotifier>

#include <windows.h>

#include <utility>

namespace ports {

namespace {

// A driver lists a new port and may change its value again at once; one look after the
// burst.
constexpr int kSettleMs = 30;
// Only where no key could be watched.
constexpr int kPollMs = 1000;

QStringList portNames(const PortDirectory& directory)
{
    QStringList names;
    for (const PortEntry& entry : directory.entries())
        names << entry.name + u'\t' + entry.description;
    return names;
}

} // namespace

PortWatcher::PortWatcher(PortRoots roots, QObject* parent)
    : QObject(parent)
    , roots_(std::move(roots))
{
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &PortWatcher::portsChanged);
    // Manual reset: the event stays set until the watcher has taken the notice in, however
    // the notifier waits on it.
    event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event_) {
        notifier_ = new QWinEventNotifier(static_cast<HANDLE>(event_), this);
        connect(notifier_, &QWinEventNotifier::activated, this, [this] {
            ++wakeUps_;
            ::ResetEvent(static_cast<HANDLE>(event_));
            rearm();
            noticed();
        });
    }
    rearm();
    if (watchedKey_.isEmpty()) {
        connect(&poll_, &QTimer::timeout, this, &PortWatcher::poll);
        poll_.start(kPollMs);
        polled_ = portNames(PortDirectory(roots_));
    }
}

PortWatcher::~PortWatcher()
{
    delete notifier_;
    if (key_)
        ::RegCloseKey(static_cast<HKEY>(key_));
    if (event_)
        ::CloseHandle(static_cast<HANDLE>(event_));
}

void PortWatcher::rearm()
{
    if (key_)
        ::RegCloseKey(static_cast<HKEY>(key_));
    key_ = nullptr;
    watchedKey_.clear();
    const windows::RegistryKeyName name = windows::splitRegistryKey(roots_.serialCommKey);
    if (!event_ || !name.root)
        return;
    // The key itself, or while it does not exist the nearest key above it, with the keys
    // below it: the ports' key appearing there is the news then.
    std::string subKey = name.subKey;
    for (bool own = true;; own = false) {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(name.root, subKey.c_str(), 0, KEY_NOTIFY, &key) == ERROR_SUCCESS) {
            const LONG asked = ::RegNotifyChangeKeyValue(key, own ? FALSE : TRUE,
                                                         REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                                         static_cast<HANDLE>(event_), TRUE);
            if (asked == ERROR_SUCCESS) {
                key_ = key;
                const QString root = roots_.serialCommKey.section(u'\\', 0, 0);
                watchedKey_ = subKey.empty() ? root : root + u'\\' + QString::fromStdString(subKey);
                return;
            }
            ::RegCloseKey(key);
        }
        if (subKey.empty())
            return;
        const std::size_t separator = subKey.rfind('\\');
        subKey = separator == std::string::npos ? std::string() : subKey.substr(0, separator);
    }
}

void PortWatcher::noticed()
{
    if (!settle_.isActive())
        settle_.start();
}

void PortWatcher::poll()
{
    QStringList names = portNames(PortDirectory(roots_));
    if (names == polled_)
        return;
    polled_ = std::move(names);
    noticed();
}

} // namespace ports
