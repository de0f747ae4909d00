#include "signalwatcher.h"

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace devsim {

namespace {
sigset_t setOf(std::initializer_list<int> signalNumbers)
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : signalNumbers)
        sigaddset(&set, s);
    return set;
}
} // namespace

void SignalWatcher::blockSignals(std::initializer_list<int> signalNumbers)
{
    const sigset_t set = setOf(signalNumbers);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent) : QObject(parent)
{
    const sigset_t set = setOf(signalNumbers);
    m_fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) {
        // Better to die by the signal than to ignore it.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
}

SignalWatcher::~SignalWatcher()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void SignalWatcher::readSignal()
{
    signalfd_siginfo info{};
    while (::read(m_fd, &info, sizeof info) == ssize_t(sizeof info))
        emit caught(int(info.ssi_signo));
}

} // namespace devsim
