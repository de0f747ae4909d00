// The line monitor with both taps at 115200 bit/s, full duplex: two pseudo-terminal
// pairs are the taps, and two writer threads play a station and a dispenser controller
// that both talk as fast as the line lets them (a frame, then six characters of
// silence, paced on the monotonic clock; each frame written when its last byte would
// have arrived), while the monitor cuts, decodes and shows every frame in a log pane on
// the offscreen screen, as the window does.
//
// Figures: the monitor's processor time per MiB heard (the writers' own time left
// out), the time-stamp error of each frame's first byte against the writer's clock
// when it wrote it (p50, p99, max), and memory per frame (the capture's, and the whole
// process's resident growth, which includes the log pane's lines).
//
//   bench_linemonitor [seconds]      (default 20; 600 for the ten-minute run)

#include "benchfigures.h"
#include "capturenames.h"
#include "commeventthread.h"
#include "frametext.h"
#include "linemonitor.h"
#include "logpane.h"
#include "logview.h"
#include "ptypair.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <pthread.h>
#include <thread>
#include <vector>

using monitor::Side;
using qldixw::testing::PtyPair;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kCharacterUs = 10.0 * 1e6 / 115200; // 8N1
constexpr int kSilenceCharacters = 6;

QByteArray bytesOf(const char* text)
{
    return *transport::lineBytesOfText(QString::fromLatin1(text));
}

// What each side says, over and over.
QList<QByteArray> stationFrames()
{
    return {bytesOf("60 01 11 * 01 13 55 55 55 55 55*"), bytesOf("60 01 81 *"),
            bytesOf("60 01 11 * 01 01 00 00 00 12 34 *"), bytesOf("60 01 71 *")};
}

QList<QByteArray> deviceFrames()
{
    return {bytesOf("01 81 00 12 34 56 07 *"), bytesOf("01 00 01 23 45 67 00 12 34 56 00 98 76 54 00 *"),
            bytesOf("00"), bytesOf("01 59 00 45 67 00 00 *")};
}

struct Written {
    Clock::time_point at;
    std::size_t offset; // of the frame's first byte in what the side sent
};

// One side talking as fast as its line lets it until `stop`.
class Writer {
public:
    Writer(PtyPair& pair, QList<QByteArray> frames) : pair_(pair), frames_(std::move(frames)) {}

    void start(std::atomic<bool>& stop)
    {
        thread_ = std::thread([this, &stop] { run(stop); });
    }
    void join()
    {
        thread_.join();
    }
    double cpuSeconds() const { return cpu_; }
    const std::vector<Written>& written() const { return written_; }
    std::size_t bytes() const { return sent_; }

private:
    void run(std::atomic<bool>& stop)
    {
        Clock::time_point start = Clock::now();
        for (std::size_t k = 0; !stop.load(); ++k) {
            const QByteArray& frame = frames_[qsizetype(k % std::size_t(frames_.size()))];
            // A terminal passes a write on at once; a line would have delivered the frame's
            // last byte its own time after the first. So it is written then, as a UART's
            // driver would hand it on.
            sleepUntil(start + characters(frame.size()));
            const Clock::time_point at = Clock::now();
            written_.push_back({at, sent_});
            if (!pair_.send(frame.constData(), std::size_t(frame.size())))
                break;
            sent_ += std::size_t(frame.size());
            // The silence after it, from when it really went: a late wake-up never
            // shortens the silence.
            start = at + characters(kSilenceCharacters);
        }
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        cpu_ = bench::seconds(t);
    }

    static std::chrono::microseconds characters(qsizetype count)
    {
        return std::chrono::microseconds(std::llround(kCharacterUs * double(count)));
    }

    static void sleepUntil(Clock::time_point at)
    {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        timespec t{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
        }
    }

    PtyPair& pair_;
    QList<QByteArray> frames_;
    std::thread thread_;
    std::vector<Written> written_;
    std::size_t sent_ = 0;
    double cpu_ = 0;
};

// The monitor's stamp of each frame's first byte, less the time the writer wrote it.
std::vector<double> stampErrorsUs(const monitor::Capture& capture, Side side, const std::vector<Written>& written,
                                  Clock::time_point epoch)
{
    std::vector<double> errors;
    std::size_t chunkStart = 0;
    std::size_t w = 0;
    for (std::size_t i = 0; i < capture.size() && w < written.size(); ++i) {
        const monitor::CaptureRecord r = capture.record(i);
        if (r.side != side || r.kind != monitor::RecordKind::Bytes)
            continue;
        const std::size_t chunkEnd = chunkStart + r.bytes.size();
        for (; w < written.size() && written[w].offset < chunkEnd; ++w) {
            const double writtenUs = double(std::chrono::duration_cast<std::chrono::nanoseconds>(written[w].at - epoch).count()) / 1e3;
            errors.push_back(double(r.timeUs) - writtenUs);
        }
        chunkStart = chunkEnd;
    }
    return errors;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QTemporaryDir dir;
    for (const char* folder : {"sys", "dev", "ports"})
        QDir(dir.path()).mkpath(QString::fromLatin1(folder));
    PtyPair station;
    PtyPair device;
    monitor::LineMonitor monitor(ports::PortRoots{dir.filePath("sys"), dir.filePath("dev"), dir.filePath("ports")});
    commport::TLineSettings line;
    line.BaudRate = commport::TBaudRate::cbr115200;
    line.Stopbits = commport::TStopbits::sb10;
    monitor.setLineSettings(Side::A, line);
    monitor.setLineSettings(Side::B, line);

    // The view as the window has it: a log pane on the screen, taking every line.
    QWidget window;
    window.resize(800, 500);
    ui::LogPane log(&window, "MonitorLog");
    log.view()->setGeometry(0, 0, 800, 500);
    window.show();
    QObject::connect(&monitor, &monitor::LineMonitor::linesAdded, &log, [&log](const QStringList& lines) {
        for (const QString& line : lines)
            log.appendLine(line);
    });
    QApplication::processEvents();

    if (!monitor.start(QString::fromStdString(station.portPath()), QString::fromStdString(device.portPath()))) {
        std::fprintf(stderr, "the taps did not open\n");
        return 1;
    }
    const Clock::time_point epoch = Clock::now() - std::chrono::microseconds(monitor.nowUs());
    QApplication::processEvents();

    const long residentBefore = bench::residentKiB();
    const std::size_t linesBefore = std::size_t(log.lineCount());
    const double cpuBefore = bench::processCpuSeconds();
    double eventThreadsBefore = 0;
    for (Side side : {Side::A, Side::B})
        eventThreadsBefore += double(monitor.tap(side).comm().EventThread()->CpuTime().count()) / 1e9;

    std::atomic<bool> stop{false};
    Writer stationWriter(station, stationFrames());
    Writer deviceWriter(device, deviceFrames());
    stationWriter.start(stop);
    deviceWriter.start(stop);
    // The event loop as the program runs it, sleeping between events.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    stop = true;
    stationWriter.join();
    deviceWriter.join();
    // Everything written is heard before the figures are taken.
    const std::size_t sent = stationWriter.bytes() + deviceWriter.bytes();
    QElapsedTimer clock;
    clock.start();
    while (monitor.capture().byteCount() < sent && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    double eventThreads = -eventThreadsBefore;
    for (Side side : {Side::A, Side::B})
        eventThreads += double(monitor.tap(side).comm().EventThread()->CpuTime().count()) / 1e9;
    monitor.stop();
    QApplication::processEvents();
    const double cpu = bench::processCpuSeconds() - cpuBefore - stationWriter.cpuSeconds() - deviceWriter.cpuSeconds();
    const long residentAfter = bench::residentKiB();

    const std::size_t frames = stationWriter.written().size() + deviceWriter.written().size();
    const std::size_t lines = std::size_t(log.lineCount()) - linesBefore;
    const double mib = double(monitor.capture().byteCount()) / double(1 << 20);
    std::vector<double> errors = stampErrorsUs(monitor.capture(), Side::A, stationWriter.written(), epoch);
    const std::vector<double> deviceErrors = stampErrorsUs(monitor.capture(), Side::B, deviceWriter.written(), epoch);
    errors.insert(errors.end(), deviceErrors.begin(), deviceErrors.end());
    const QStringList shown = log.lines();
    const qsizetype unreadable = shown.filter(QStringLiteral("неверная контрольная сумма")).size()
        + shown.filter(QStringLiteral("неизвестный")).size();

    std::printf("both taps at 115200 bit/s 8N1 for %d s: %zu frames written (%.0f + %.0f bytes/s, the line's "
                "ceiling is 11520 each way), %zu heard in %zu records, %zu lines shown (%lld not placed by the "
                "decoder)\n",
                seconds, frames, double(stationWriter.bytes()) / seconds, double(deviceWriter.bytes()) / seconds,
                std::size_t(monitor.capture().byteCount()), monitor.capture().size(), lines, (long long)unreadable);
    std::printf("processor: %.2f s for %.3f MiB = %.2f s per MiB (%.1f%% of one core), of it the two event threads "
                "%.2f s per MiB\n",
                cpu, mib, cpu / mib, 100.0 * cpu / seconds, eventThreads / mib);
    std::printf("time-stamp error of a frame's first byte against the writer's clock: p50 %.0f us, p99 %.0f us, "
                "max %.0f us (%zu frames)\n",
                bench::percentile(errors, 0.5), bench::percentile(errors, 0.99), bench::percentile(errors, 1.0),
                errors.size());
    std::printf("memory: capture %.1f bytes per frame (%.2f MiB); process resident %+ld KiB = %.0f bytes per "
                "frame shown (capture, log pane and the allocator's slack)\n",
                double(monitor.capture().memoryBytes()) / double(std::max<std::size_t>(frames, 1)),
                double(monitor.capture().memoryBytes()) / double(1 << 20), residentAfter - residentBefore,
                double(residentAfter - residentBefore) * 1024.0 / double(std::max<std::size_t>(lines, 1)));
    // The figures depend on how soon the GUI thread gets the processor: say how busy the
    // machine was.
    std::ifstream loadavg("/proc/loadavg");
    double load1 = 0;
    loadavg >> load1;
    std::printf("machine load average over the last minute: %.2f on %u processors\n", load1,
                std::thread::hardware_concurrency());
    return 0;
}
