// The reply window's clock alone: how late a window ends against its length, for the
// lengths the families use and a short one, on the system's clock and on the stand-in
// used where the system refuses one, beside a plain precise QTimer. Portable, so that the
// same figures come from Linux (timerfd) and from Windows (the waitable timer).
//   bench_replywindow [windows per length]    (default 200)

#include "replywindowtimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double percentileOf(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// How late each of `count` windows of `ms` ended, in milliseconds.
template <typename Clock>
std::vector<double> lateness(Clock& clock, int ms, int count)
{
    std::vector<double> late;
    QEventLoop loop;
    QElapsedTimer elapsed;
    QObject::connect(&clock, &Clock::timeout, &loop, [&] {
        late.push_back(double(elapsed.nsecsElapsed()) / 1e6 - ms);
        loop.quit();
    });
    for (int i = 0; i < count; ++i) {
        clock.setInterval(ms);
        elapsed.start();
        clock.start();
        loop.exec();
    }
    return late;
}

void print(const char* name, int ms, const std::vector<double>& late)
{
    std::printf("%-32s %5d ms  late: median %6.3f  p99 %6.3f  max %6.3f ms  (early: %s)\n", name, ms,
                percentileOf(late, 0.5), percentileOf(late, 0.99), percentileOf(late, 1.0),
                percentileOf(late, 0.0) < 0 ? "yes" : "no");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    if (count <= 0) {
        std::fprintf(stderr, "usage: %s [windows per length, a positive number]\n", argv[0]);
        return 2;
    }
    transport::ReplyWindowTimer window;
    transport::ReplyWindowTimer standIn(nullptr, transport::ReplyWindowTimer::Clock::QtTimer);
    QTimer precise;
    precise.setSingleShot(true);
    precise.setTimerType(Qt::PreciseTimer);
    std::printf("reply window clock: %s; %d windows per length\n", qPrintable(window.clockName()), count);
    for (const int ms : {1, 20, 100, 500}) {
        const int runs = ms >= 500 ? std::max(1, count / 20) : count;
        print(qPrintable(window.clockName()), ms, lateness(window, ms, runs));
        print("stand-in (Qt timer, deadline)", ms, lateness(standIn, ms, runs));
        print("QTimer (Qt::PreciseTimer)", ms, lateness(precise, ms, runs));
    }
    return 0;
}
