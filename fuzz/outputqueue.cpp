// The output queue fed a sequence of steps, each picked by one byte: writes, the event
// thread serving the queue, time passing, and a system that takes, holds, puts on the
// line, refuses, vanishes, keeps no count of what it holds, and is closed and opened
// again. A model follows every byte by its number (waiting in the queue, held by the
// system, on the line, reported as dropped, forgotten with the port) and checks after
// each step that the queue handed over, kept and reported exactly what it says.
//
// Input: limit (1 byte), time-out (1 byte), whether the system counts (1 byte), then
// the steps.

#include "fuzzcheck.h"

#include "outputqueue.h"
#include "scriptedoutputdevice.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using commport::CommErrorKind;
using commport::OutputQueue;
using Clock = OutputQueue::Clock;
using Event = qldixw::testing::ScriptedOutputDevice::Event;

// Byte number `id` on the wire. A bijection modulo 256, and the queue never keeps more
// than 256 bytes, so a byte identifies its number among those waiting.
char valueOf(std::uint64_t id)
{
    return static_cast<char>(static_cast<std::uint8_t>(id * 167u));
}

struct Byte {
    std::uint64_t id;
    Clock::time_point deadline;
};

class Model {
public:
    Model(std::size_t limit, Clock::duration timeout, bool counts)
        : limit_(limit), timeout_(timeout), queue_(limit, timeout)
    {
        openDevice(counts);
    }

    void write(std::size_t count)
    {
        std::string bytes;
        const std::size_t before = waiting_.size();
        for (std::size_t i = 0; i < count; ++i) {
            bytes += valueOf(nextId_ + i);
            waiting_.push_back({nextId_ + i, now_ + timeout_});
        }
        const OutputQueue::Sent sent = queue_.Write(*device_, bytes.data(), count, now_);
        offered_ += count;
        const bool fits = count <= limit_ - before;
        const CommErrorKind failure = device_->failure;
        std::size_t refusedAtOnce = 0;
        switch (sent) {
        case OutputQueue::Sent::Dropped:
        case OutputQueue::Sent::Failed:
        case OutputQueue::Sent::Gone:
            refusedAtOnce = count;
            break;
        default:
            break;
        }
        waiting_.resize(waiting_.size() - refusedAtOnce);
        replay(0, false);
        if (count == 0) {
            check(sent == OutputQueue::Sent::All, "an empty write is not done at once");
            return;
        }
        check((sent == OutputQueue::Sent::Dropped) == !fits, "the bound not kept", [&] {
            return QStringLiteral("%1 bytes, %2 waiting, limit %3").arg(count).arg(before).arg(limit_);
        });
        const OutputQueue::Sent refusal =
            failure == CommErrorKind::Gone ? OutputQueue::Sent::Gone : OutputQueue::Sent::Failed;
        if (fits && before == 0 && failure != CommErrorKind::None)
            check(sent == refusal, "a refused write not told as such");
        else if (fits)
            check(sent == OutputQueue::Sent::All || sent == OutputQueue::Sent::Watched ||
                      sent == OutputQueue::Sent::Kept,
                  "a write that fits was not taken");
        if (sent == OutputQueue::Sent::Dropped || sent == OutputQueue::Sent::Failed)
            reported_ += count; // the component reports these itself
        else if (sent == OutputQueue::Sent::Gone)
            forgotten_ += count; // told as the device lost
        else
            nextId_ += count;
        switch (sent) {
        case OutputQueue::Sent::All:
            check(waiting_.empty() && (!device_->countsOutput || held_.empty()),
                  "All while bytes still wait or are held");
            break;
        case OutputQueue::Sent::Watched:
            check(waiting_.empty() && device_->countsOutput && !held_.empty(),
                  "Watched while bytes wait, or with nothing held");
            signalled_ = true;
            break;
        case OutputQueue::Sent::Kept:
            check(!waiting_.empty(), "Kept with nothing waiting");
            signalled_ = true;
            break;
        case OutputQueue::Sent::Gone:
            deviceGone();
            break;
        default:
            break;
        }
        checkPending();
    }

    // The event thread, woken by a signal, by room to write or by its deadline.
    void serve()
    {
        const std::size_t before = waiting_.size();
        const OutputQueue::Serviced served = queue_.Service(*device_, now_);
        signalled_ = false;
        const bool gone = served.state == OutputQueue::Serviced::State::DeviceGone;
        check(!gone || device_->failure == CommErrorKind::Gone, "a device gone that is there");
        replay(served.dropped, true);
        if (gone) {
            deviceGone();
            return;
        }
        check(device_->failure != CommErrorKind::Other || waiting_.empty(),
              "bytes kept after the system refused them",
              [&] { return QStringLiteral("%1 of %2").arg(waiting_.size()).arg(before); });
        check((served.state == OutputQueue::Serviced::State::Pending) == !waiting_.empty(),
              "Pending is not the same as bytes waiting");
        checkPending();

        // Nothing overdue is left, and the thread is told when to come back.
        std::optional<Clock::time_point> due;
        if (device_->countsOutput && !held_.empty())
            due = held_.front().deadline;
        else if (!waiting_.empty())
            due = waiting_.front().deadline;
        if (due) {
            check(*due > now_, "overdue bytes left waiting or held",
                  [&] { return QStringLiteral("%1 ms overdue").arg(ms(now_ - *due)); });
            check(served.deadline && *served.deadline <= *due, "no deadline for the thread, or a late one");
        }
        if (served.deadline)
            check(*served.deadline > now_, "a deadline already past");
        threadDeadline_ = served.deadline;
    }

    // Time passes; the thread comes at every deadline it was given, and first at once
    // when it was signalled.
    void pass(Clock::duration duration)
    {
        if (signalled_)
            serve();
        const Clock::time_point until = now_ + duration;
        while (threadDeadline_ && *threadDeadline_ <= until) {
            now_ = std::max(now_, *threadDeadline_);
            serve();
        }
        now_ = until;
    }

    // Time passes while the thread is kept from running.
    void jump(Clock::duration duration) { now_ += duration; }

    void setCapacity(std::size_t capacity) { device_->capacity = capacity; }
    void setFailure(CommErrorKind failure) { device_->failure = failure; }

    void transmit(std::size_t count)
    {
        count = std::min(count, held_.size());
        device_->transmit(count);
        for (std::size_t i = 0; i < count; ++i) {
            check(!lastOnLine_ || held_.front().id > *lastOnLine_, "bytes on the line out of order");
            lastOnLine_ = held_.front().id;
            held_.pop_front();
            ++onLine_;
        }
    }

    // The port is closed and opened again: what it kept and held is knowingly forgotten.
    void reopen(bool counts)
    {
        queue_.Clear();
        forgotten_ += waiting_.size() + held_.size();
        waiting_.clear();
        held_.clear();
        openDevice(counts);
        checkPending();
    }

    // The event thread's last call after the device stopped taking bytes: everything
    // still waiting or held is then on the line or reported.
    void finish()
    {
        device_->failure = CommErrorKind::None;
        pass(timeout_ + std::chrono::milliseconds(1));
        serve();
        check(waiting_.empty(), "bytes still waiting after their time");
        check(!device_->countsOutput || held_.empty(), "bytes still held after their time");
        transmit(held_.size());
        check(offered_ == onLine_ + reported_ + forgotten_, "a byte neither on the line nor reported", [&] {
            return QStringLiteral("offered %1, on the line %2, reported %3, forgotten %4")
                .arg(offered_)
                .arg(onLine_)
                .arg(reported_)
                .arg(forgotten_);
        });
    }

private:
    static long long ms(Clock::duration d)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    }

    // The detail is put together only when the check fails: the checks run on every step.
    template <typename Detail>
    void check(bool holds, const char* what, Detail detail) const
    {
        if (!holds)
            fuzz::fail(what, detail() + state());
    }
    void check(bool holds, const char* what) const
    {
        if (!holds)
            fuzz::fail(what, state());
    }
    QString state() const
    {
        return QStringLiteral(" [waiting %1, held %2, counts %3]")
            .arg(waiting_.size())
            .arg(held_.size())
            .arg(device_ && device_->countsOutput);
    }

    void openDevice(bool counts)
    {
        device_ = std::make_unique<qldixw::testing::ScriptedOutputDevice>();
        device_->countsOutput = counts;
        seen_ = 0;
        threadDeadline_.reset();
        signalled_ = false;
    }

    void deviceGone()
    {
        // What was kept and held is forgotten with the device, which the loss reports;
        // the port then closes.
        check(queue_.Pending() == 0, "bytes kept for a vanished device");
        forgotten_ += waiting_.size() + held_.size();
        waiting_.clear();
        held_.clear();
        queue_.Clear();
        openDevice(device_->countsOutput);
    }

    // Follows what the system did during one call of the queue: bytes it took must be
    // the oldest waiting ones, after those the call dropped; what it emptied from its
    // buffer must be in `dropped` when it counts, and nothing counted as sent when it
    // does not. The rest of `dropped` is what left the queue unsent: the oldest waiting
    // ones, or all of them after a refusal.
    void replay(std::size_t dropped, bool serving)
    {
        std::size_t purged = 0;
        std::size_t before = 0; // dropped ahead of the first byte taken
        bool took = false;
        const std::vector<Event>& events = device_->events;
        for (; seen_ < events.size(); ++seen_) {
            const Event& e = events[seen_];
            if (e.kind == Event::Kind::Purged) {
                check(serving, "the system emptied during Write, which reports nothing");
                check(e.bytes.size() == held_.size(), "the model lost track of the system's buffer");
                check(device_->countsOutput || held_.empty(), "bytes counted as sent were emptied unreported",
                      [&] { return QStringLiteral("%1 bytes").arg(held_.size()); });
                purged += held_.size();
                held_.clear();
                continue;
            }
            for (char value : e.bytes) {
                if (!took) {
                    std::size_t at = 0;
                    while (at < waiting_.size() && valueOf(waiting_[at].id) != value)
                        ++at;
                    check(at < waiting_.size(), "the system got a byte nobody wrote or one already gone");
                    check(serving || at == 0, "Write handed bytes ahead of older ones");
                    before = at;
                    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(at));
                    took = true;
                }
                check(!waiting_.empty() && valueOf(waiting_.front().id) == value,
                      "bytes handed out of order, twice, or skipped");
                held_.push_back(waiting_.front());
                waiting_.pop_front();
            }
        }
        check(dropped >= purged + before, "dropped bytes not reported", [&] {
            return QStringLiteral("reported %1, emptied from the system %2, dropped before sending %3")
                .arg(dropped)
                .arg(purged)
                .arg(before);
        });
        std::size_t rest = dropped - purged - before;
        if (took)
            check(rest == 0 || (device_->failure == CommErrorKind::Other && rest == waiting_.size()),
                  "bytes dropped from the middle of the queue");
        check(rest <= waiting_.size(), "more reported than was there",
              [&] { return QStringLiteral("%1 of %2").arg(rest).arg(waiting_.size()); });
        reported_ += dropped;
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(rest));
    }

    void checkPending() const
    {
        check(queue_.Pending() == waiting_.size(), "the queue keeps other bytes than written",
              [&] { return QStringLiteral("queue %1").arg(queue_.Pending()); });
        check(queue_.Pending() <= limit_, "the queue outgrew its bound");
    }

    const std::size_t limit_;
    const Clock::duration timeout_;
    OutputQueue queue_;
    std::unique_ptr<qldixw::testing::ScriptedOutputDevice> device_;
    std::size_t seen_ = 0; // device events followed so far

    Clock::time_point now_ = Clock::time_point{} + std::chrono::hours(1);
    std::optional<Clock::time_point> threadDeadline_;
    bool signalled_ = false;

    std::uint64_t nextId_ = 0;
    std::deque<Byte> waiting_; // in the queue, oldest first
    std::deque<Byte> held_;    // in the system's buffer, oldest first
    std::optional<std::uint64_t> lastOnLine_;
    std::size_t offered_ = 0, onLine_ = 0, reported_ = 0, forgotten_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };

    // At most 256 bytes kept, so that a byte's value names it among those waiting.
    const std::size_t limit = 1 + next() % 200;
    const auto timeout = std::chrono::milliseconds(1 + next());
    Model model(limit, timeout, next() & 1);

    while (at < size) {
        const std::uint8_t op = next();
        switch (op % 9) {
        case 0:
        case 1:
            model.write(next() % (limit + 9));
            break;
        case 2:
            model.serve();
            break;
        case 3:
            model.pass(std::chrono::milliseconds(next()));
            break;
        case 4:
            model.jump(std::chrono::milliseconds(next()));
            break;
        case 5: {
            const std::uint8_t capacity = next() % 70;
            model.setCapacity(capacity == 69 ? std::numeric_limits<std::size_t>::max() : capacity);
            break;
        }
        case 6:
            model.transmit(next());
            break;
        case 7: {
            const std::uint8_t kind = next() % 8;
            model.setFailure(kind < 5   ? CommErrorKind::None
                             : kind < 7 ? CommErrorKind::Other
                                        : CommErrorKind::Gone);
            break;
        }
        case 8:
            model.reopen(next() & 1);
            break;
        }
    }
    model.finish();
    return 0;
}
