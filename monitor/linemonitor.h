#pragma once
// The line monitor without its window: two taps on a line between two other parties,
// each a port session of its own (opened, lost and reopened as the console's own port
// is), every chunk they hear kept in a capture with the time its bytes were found, and
// the capture shown as lines as it grows. The monitor never writes to either port.
//
// A tap's chunk is stamped with the time the serial component's event thread woke up
// for it (the monotonic clock, microseconds), not the time the GUI thread got round to
// it. Bytes the driver lost to an overrun, and errors it counted, are records of their
// own, reported with the chunk that followed them.

#include "capturenames.h"
#include "monitorlines.h"

#include "portdirectory.h"
#include "portsession.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <chrono>
#include <memory>

namespace monitor {

class LineMonitor : public QObject {
    Q_OBJECT
public:
    // This machine's ports, or those of a tree of roots (tests).
    explicit LineMonitor(QObject* parent = nullptr);
    explicit LineMonitor(const ports::PortRoots& roots, QObject* parent = nullptr);
    ~LineMonitor() override;

    portsession::PortSession& tap(Side side) { return *taps_[std::size_t(sideIndex(side))]; }
    const portsession::PortSession& tap(Side side) const { return *taps_[std::size_t(sideIndex(side))]; }

    // The protocol and the gap the capture is shown with. A change shows the whole
    // capture again.
    Protocol protocol() const { return capture_.protocol; }
    void setProtocol(Protocol protocol);
    double gapCharacters() const { return capture_.gapCharacters; }
    void setGapCharacters(double characters);

    // The line settings a tap listens with; put on an open port at once (ECommError when
    // the device refuses them, and the tap keeps what it had).
    void setLineSettings(Side side, const commport::TLineSettings& settings);

    // "Начать": each tap opens on its name (an empty name leaves that tap closed).
    // Listening goes on when at least one tap is open; why a tap did not open is a line
    // of the capture. A capture read from a file is put aside for a new one.
    bool start(const QString& nameA, const QString& nameB);
    // "Остановить": both taps close, and every frame still open is shown.
    void stop();
    bool listening() const { return listening_; }

    // What was heard, or the capture loaded; for a capture shown from its file, only its
    // header (its records stay in the file).
    const Capture& capture() const { return capture_; }
    // A capture read from a file takes the place of what was heard: listening stops, and
    // the capture is shown with its own protocol and gap.
    void load(Capture capture);
    // The same for a capture whose lines were read from its file straight into the pane
    // (capturelines.h): only the header and the file's name are kept.
    void showFile(const Capture& header, const QString& path);
    // The file of the capture shown, when it is shown from one; empty otherwise.
    const QString& shownFile() const { return shownFile_; }
    // Forgets what was heard.
    void clear();

    // The capture's time now, in microseconds.
    std::int64_t nowUs() const;

signals:
    // Lines for the end of the view.
    void linesAdded(const QStringList& lines);
    // The whole view anew (the capture was loaded, cleared or shown another way).
    void linesReplaced(const QStringList& lines);
    void listeningChanged(bool listening);
    // The protocol or the gap changed (a capture was loaded).
    void presentationChanged();
    // The protocol or the gap of a capture shown from its file changed: its lines are to
    // be read from the file again.
    void fileToReadAgain();
    // A tap opened, closed or waits for its device.
    void tapStateChanged(monitor::Side side, portsession::PortSession::State state);

private:
    void setUpTap(Side side, const ports::PortRoots& roots);
    void readTap(Side side);
    void tapState(Side side, portsession::PortSession::State state);
    void record(std::int64_t timeUs, Side side, RecordKind kind, const QString& text = QString());
    void recordBytes(std::int64_t timeUs, Side side, std::span<const std::uint8_t> bytes);
    void show(const CaptureRecord& record);
    void showAgain();
    void scheduleQuiet();
    void quietTimeout();
    void beginCapture();
    std::int64_t captureTime(std::chrono::steady_clock::time_point at) const;

    std::array<portsession::PortSession*, kSideCount> taps_{};
    std::array<portsession::PortSession::State, kSideCount> tapStates_{};
    Capture capture_;
    QString shownFile_;
    std::unique_ptr<MonitorLines> lines_;
    // Time 0 of a capture heard here; none for an empty or loaded one.
    std::optional<std::chrono::steady_clock::time_point> epoch_;
    bool listening_ = false;
    bool stopping_ = false;
    QTimer quiet_;
    QStringList added_; // reused
};

} // namespace monitor
