// What a log line costs in a log pane that is never trimmed, against a plain text editor
// fed the same lines: memory per line and CPU per appended line at 10^4, 10^5 and 10^6
// lines of 51 characters, each run in a fresh process so that one run's heap does not
// hide the next one's growth; then, at 10^6 lines, scrolling to the middle and painting,
// and what a screen reader asks near the end of the log (the line at an offset, a range).
// Each size runs twice: as a flood (events processed after every 100 lines; memory is
// measured here) and as the program logs in the steady state, one line per event-loop
// turn (events processed after every line). The editor repaints on every such turn, about
// a millisecond each, so its one-line-per-turn runs stop at --editor-max lines.
//
//   bench_ui [--editor-max N]                 every figure (N defaults to 10^5)
//   bench_ui pane|editor LINES EVENTS-EVERY   one run's figures

#include "logpane.h"
#include "logview.h"
#include "benchfigures.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using bench::residentKiB;
using bench::processCpuSeconds;

namespace {

// The goals: memory per line at most the line's UTF-8 bytes plus this, CPU per line at most this.
constexpr double kBytesOverUtf8 = 32;
constexpr double kCpuMicroseconds = 5;

// Received-frame lines of 51 characters, a thousand different ones used in turn.
QStringList frameLines()
{
    QStringList lines;
    for (int i = 0; i < 1000; ++i) {
        lines << QString::asprintf("PC<- (07.12.2026 10:%02d:%02d)  01 81 00 %02X %02X 56 07 C8", i / 60 % 60, i % 60,
                                   i & 0xFF, (i >> 8) & 0xFF);
    }
    return lines;
}

// The program's font: Tahoma, 11 pixels, proportional.
void useProgramFont()
{
    QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    QApplication::setFont(font);
}

struct Subject {
    QString name;
    QWidget* widget;
    QScrollBar* vertical;
    std::function<void(const QString&)> append;
    std::function<void()> clear;
    std::function<qsizetype()> storeBytes; // null when the subject has no such count
};

const char* verdict(bool met)
{
    return met ? "meets the goal" : "MISSES the goal";
}

// What a screen reader asks of a long log near its end, where new lines are read: the line
// at an offset and a range of text, through the widget's accessible text interface. The
// first question may build what later ones use; the others are the median of many.
void measureScreenReading(const QByteArray& name, long lines, QWidget* widget)
{
    QAccessibleInterface* const accessible = QAccessible::queryAccessibleInterface(widget);
    QAccessibleTextInterface* const text = accessible ? accessible->textInterface() : nullptr;
    if (!text) {
        std::printf("%-15s %8ld lines: no accessible text\n", name.constData(), lines);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const int count = text->characterCount();
    const double countMs = double(clock.nsecsElapsed()) / 1e6;
    int start = 0;
    int end = 0;
    const auto lineNearEnd = [&](int i) { text->textAtOffset(count - 1 - i * 131, QAccessible::LineBoundary, &start, &end); };
    const auto rangeNearEnd = [&](int i) { text->text(count - 2000 - i * 131, count - 1000 - i * 131); };
    clock.restart();
    lineNearEnd(0);
    const double firstLineMs = double(clock.nsecsElapsed()) / 1e6;
    std::vector<double> lineUs;
    std::vector<double> rangeUs;
    for (int i = 1; i <= 200; ++i) {
        clock.restart();
        lineNearEnd(i);
        lineUs.push_back(double(clock.nsecsElapsed()) / 1e3);
        clock.restart();
        rangeNearEnd(i);
        rangeUs.push_back(double(clock.nsecsElapsed()) / 1e3);
    }
    std::printf("%-15s %8ld lines: screen reader near the end: character count %.2f ms (first question); "
                "line at an offset %.2f ms first, then %.1f us median (p95 %.1f us); 1000 characters of text "
                "%.1f us median (p95 %.1f us)\n",
                name.constData(), lines, countMs, firstLineMs, bench::percentile(lineUs, 0.5),
                bench::percentile(lineUs, 0.95), bench::percentile(rangeUs, 0.5), bench::percentile(rangeUs, 0.95));
}

int measure(const QString& kind, long lines, int eventsEvery)
{
    QWidget window;
    window.resize(800, 600);
    std::unique_ptr<QPlainTextEdit> editorOwner;
    Subject subject;
    if (kind == QLatin1String("pane")) {
        auto* pane = new ui::LogPane(&window, "dannieListBox1");
        subject = {QStringLiteral("LogPane"), pane->view(), pane->view()->verticalScrollBar(),
                   [pane](const QString& line) { pane->appendLine(line); }, [pane] { pane->clear(); },
                   [pane] { return pane->store().allocatedBytes(); }};
    } else {
        // The panes as they were: a plain text editor, no wrapping, both scroll bars.
        auto* editor = new QPlainTextEdit(&window);
        editor->setLineWrapMode(QPlainTextEdit::NoWrap);
        editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setUndoRedoEnabled(false);
        subject = {QStringLiteral("QPlainTextEdit"), editor, editor->verticalScrollBar(),
                   [editor](const QString& line) { editor->appendPlainText(line); }, [editor] { editor->clear(); },
                   nullptr};
    }
    subject.widget->setGeometry(5, 5, 790, 590);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    const QStringList ring = frameLines();
    // Warm up glyph caches and the backing store, then start from an empty pane.
    for (const QString& line : ring)
        subject.append(line);
    QTest::qWait(100);
    subject.clear();
    QTest::qWait(100);

    // An event-loop turn with nothing to do, for reference: the program takes at least
    // one turn per logged line.
    const double idleStart = processCpuSeconds();
    for (int i = 0; i < 100000; ++i)
        QApplication::processEvents();
    const double idleTurnUs = (processCpuSeconds() - idleStart) / 100000 * 1e6;

    const long rssBefore = residentKiB();
    const double cpuStart = processCpuSeconds();
    for (long i = 0; i < lines; ++i) {
        subject.append(ring[int(i % ring.size())]);
        if ((i + 1) % eventsEvery == 0)
            QApplication::processEvents();
    }
    QTest::qWait(60); // the last coalesced refresh
    const double cpuPerLineUs = (processCpuSeconds() - cpuStart) / double(lines) * 1e6;
    const double rssPerLine = double(residentKiB() - rssBefore) * 1024.0 / double(lines);

    const QByteArray name = subject.name.toUtf8();
    const bool flood = eventsEvery > 1;
    if (flood) {
        const double utf8 = double(ring.front().toUtf8().size());
        const double allowed = utf8 + kBytesOverUtf8;
        std::printf("%-15s %8ld lines: memory %6.1f bytes/line (RSS growth); allowed %.0f (UTF-8 %.0f + %.0f): %s\n",
                    name.constData(), lines, rssPerLine, allowed, utf8, kBytesOverUtf8,
                    verdict(rssPerLine <= allowed));
        if (subject.storeBytes) {
            const double storePerLine = double(subject.storeBytes()) / double(lines);
            std::printf("%-15s %8ld lines: memory %6.1f bytes/line (the store's own allocation): %s\n",
                        name.constData(), lines, storePerLine, verdict(storePerLine <= allowed));
        }
        std::printf("%-15s %8ld lines: CPU %7.2f us/line, a flood (events processed after every %d lines); "
                    "goal %.0f us: %s\n",
                    name.constData(), lines, cpuPerLineUs, eventsEvery, kCpuMicroseconds,
                    verdict(cpuPerLineUs <= kCpuMicroseconds));
    } else {
        std::printf("%-15s %8ld lines: CPU %7.2f us/line, one line per event-loop turn (an idle turn costs "
                    "%.2f us of it); goal %.0f us: %s\n",
                    name.constData(), lines, cpuPerLineUs, idleTurnUs, kCpuMicroseconds,
                    verdict(cpuPerLineUs <= kCpuMicroseconds));
    }

    if (flood && lines >= 1000000) {
        QWidget* const viewport = static_cast<QAbstractScrollArea*>(subject.widget)->viewport();
        QElapsedTimer clock;
        clock.start();
        subject.vertical->setValue(subject.vertical->maximum() / 2);
        viewport->repaint();
        const double scrollMs = double(clock.nsecsElapsed()) / 1e6;
        clock.restart();
        viewport->repaint();
        const double paintMs = double(clock.nsecsElapsed()) / 1e6;
        std::printf("%-15s %8ld lines: scroll to the middle and paint %.2f ms; paint once %.2f ms\n",
                    name.constData(), lines, scrollMs, paintMs);
        measureScreenReading(name, lines, subject.widget);
    }
    std::fflush(stdout);
    return 0;
}

int runAll(const char* self, long editorMax)
{
    for (const char* kind : {"pane", "editor"}) {
        const bool editor = QLatin1String(kind) == QLatin1String("editor");
        for (long lines : {10000L, 100000L, 1000000L}) {
            for (int eventsEvery : {100, 1}) {
                if (editor && eventsEvery == 1 && lines > editorMax) {
                    std::printf("%-15s %8ld lines: one line per event-loop turn skipped (over --editor-max %ld)\n",
                                "QPlainTextEdit", lines, editorMax);
                    continue;
                }
                std::fflush(stdout);
                QProcess child;
                child.setProcessChannelMode(QProcess::ForwardedChannels);
                child.start(QString::fromLocal8Bit(self), {QString::fromLatin1(kind), QString::number(lines),
                                                           QString::number(eventsEvery)});
                if (!child.waitForFinished(-1) || child.exitCode() != 0) {
                    std::fprintf(stderr, "%s %ld failed\n", kind, lines);
                    return 1;
                }
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        useProgramFont();
        return measure(QString::fromLatin1(argv[1]), std::atol(argv[2]), std::max(1, std::atoi(argv[3])));
    }
    QCoreApplication app(argc, argv);
    const long editorMax = argc == 3 ? std::atol(argv[2]) : 100000;
    return runAll("/proc/self/exe", editorMax);
}
