#include "interruptsignals.h"

#include <QSocketNotifier>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#endif

namespace testscript {

#if defined(Q_OS_UNIX)

namespace {

// The handler may do nothing but write: the signal's number goes through a pipe to
// the event loop. One watch at a time, as a process runs one script.
int pipeEnds[2] = {-1, -1};
struct sigaction previousInt {};
struct sigaction previousTerm {};

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

InterruptSignals::InterruptSignals()
{
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &InterruptSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A signal ignored from the start (a background job's SIGINT, nohup) stays ignored.
    for (auto [signalNumber, previous] : {std::pair{SIGINT, &previousInt}, std::pair{SIGTERM, &previousTerm}}) {
        ::sigaction(signalNumber, nullptr, previous);
        if (previous->sa_handler != SIG_IGN)
            ::sigaction(signalNumber, &action, nullptr);
    }
}

InterruptSignals::~InterruptSignals()
{
    if (!notifier_)
        return;
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void InterruptSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) {
        if (caught_ == 0)
            caught_ = byte;
        emit interrupted(byte);
    }
}

#else

// Elsewhere the console's own handling stands: a run there ends with the process.
InterruptSignals::InterruptSignals() = default;
InterruptSignals::~InterruptSignals() = default;
void InterruptSignals::readPipe() {}

#endif

} // namespace testscript
