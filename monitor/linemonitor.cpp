#include "linemonitor.h"

#include "commtypes.h"

#include <QDateTime>

#include <vector>

namespace monitor {

namespace {

using portsession::PortSession;
using Clock = std::chrono::steady_clock;

// What one read takes at most; a larger backlog is read in several.
constexpr int kReadChunk = 4096;

QString lineErrorText(std::uint32_t errors)
{
    QStringList kinds;
    if (errors & commport::CE_RXPARITY)
        kinds << QStringLiteral("чётность");
    if (errors & commport::CE_FRAME)
        kinds << QStringLiteral("стоповый бит (кадр)");
    if (errors & commport::CE_BREAK)
        kinds << QStringLiteral("обрыв линии (break)");
    return kinds.join(QStringLiteral(", "));
}

} // namespace

LineMonitor::LineMonitor(QObject* parent)
    : LineMonitor(ports::PortRoots::thisMachine(), parent)
{
}

LineMonitor::LineMonitor(const ports::PortRoots& roots, QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("LineMonitor"));
    for (Side side : {Side::A, Side::B})
        setUpTap(side, roots);
    quiet_.setSingleShot(true);
    quiet_.setTimerType(Qt::PreciseTimer);
    connect(&quiet_, &QTimer::timeout, this, &LineMonitor::quietTimeout);
    lines_ = std::make_unique<MonitorLines>(capture_);
}

LineMonitor::~LineMonitor()
{
    // The taps' events are handed to this object: none may come while it goes.
    for (PortSession* tap : taps_)
        tap->disconnect(this);
    for (PortSession* tap : taps_)
        tap->close();
}

void LineMonitor::setUpTap(Side side, const ports::PortRoots& roots)
{
    auto* tap = new PortSession(roots, this);
    tap->setObjectName(side == Side::A ? QStringLiteral("MonitorTapA") : QStringLiteral("MonitorTapB"));
    taps_[std::size_t(sideIndex(side))] = tap;
    tapStates_[std::size_t(sideIndex(side))] = tap->state();
    connect(tap, &PortSession::bytesWaiting, this, [this, side] { readTap(side); });
    connect(tap, &PortSession::stateChanged, this, [this, side](PortSession::State state) { tapState(side, state); });
    connect(tap, &PortSession::notice, this, [this, side](const QString& line) {
        if (epoch_)
            record(nowUs(), side, RecordKind::Note, line);
    });
    connect(tap, &PortSession::failed, this, [this, side](const QString& message) {
        if (epoch_)
            record(nowUs(), side, RecordKind::Note, QStringLiteral("порт не открыт: ") + message);
    });
}

std::int64_t LineMonitor::captureTime(Clock::time_point at) const
{
    return epoch_ ? std::chrono::duration_cast<std::chrono::microseconds>(at - *epoch_).count() : 0;
}

std::int64_t LineMonitor::nowUs() const
{
    return captureTime(Clock::now());
}

void LineMonitor::readTap(Side side)
{
    commport::TComm& comm = tap(side).comm();
    // Read even when not listening, so nothing stale is taken for the next chunk.
    std::vector<std::uint8_t> bytes;
    for (;;) {
        const std::size_t had = bytes.size();
        bytes.resize(had + kReadChunk);
        const int n = comm.Read(bytes.data() + had, kReadChunk);
        bytes.resize(had + std::size_t(std::max(n, 0)));
        if (n < kReadChunk)
            break;
    }
    if (!listening_)
        return;
    const std::int64_t at = captureTime(comm.LineStatus().EventTime);
    const std::uint32_t errors = comm.LastErrors();
    if (errors & (commport::CE_OVERRUN | commport::CE_RXOVER))
        record(at, side, RecordKind::Overrun);
    if (const QString kinds = lineErrorText(errors); !kinds.isEmpty())
        record(at, side, RecordKind::LineError, kinds);
    recordBytes(at, side, bytes);
}

void LineMonitor::tapState(Side side, PortSession::State state)
{
    const std::size_t i = std::size_t(sideIndex(side));
    const PortSession::State before = std::exchange(tapStates_[i], state);
    emit tapStateChanged(side, state);
    if (!epoch_ || state == before)
        return;
    if (state == PortSession::State::Open) {
        record(nowUs(), side, RecordKind::Opened, tap(side).name());
        record(nowUs(), side, RecordKind::Settings, lineFormatText(lineFormatOf(tap(side).comm().LineSettings())));
    } else if (before == PortSession::State::Open) {
        record(nowUs(), side, RecordKind::Closed, stopping_ ? QStringLiteral("остановлено") : QString());
    }
}

void LineMonitor::setLineSettings(Side side, const commport::TLineSettings& settings)
{
    commport::TComm& comm = tap(side).comm();
    const commport::TLineSettings before = comm.LineSettings();
    comm.SetLineSettings(settings);
    if (epoch_ && comm.IsOpen() && !(before == comm.LineSettings()))
        record(nowUs(), side, RecordKind::Settings, lineFormatText(lineFormatOf(comm.LineSettings())));
}

void LineMonitor::beginCapture()
{
    if (epoch_)
        return;
    shownFile_.clear();
    const Protocol protocol = capture_.protocol;
    const double gap = capture_.gapCharacters;
    capture_ = Capture();
    capture_.protocol = protocol;
    capture_.gapCharacters = gap;
    // Time 0 on both clocks, read together; the view shows the offset of this place.
    epoch_ = Clock::now();
    const auto wall = std::chrono::system_clock::now();
    capture_.startUtcUs = std::chrono::duration_cast<std::chrono::microseconds>(wall.time_since_epoch()).count();
    capture_.utcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
    lines_ = std::make_unique<MonitorLines>(capture_);
    emit linesReplaced({});
}

bool LineMonitor::start(const QString& nameA, const QString& nameB)
{
    if (listening_)
        stop();
    beginCapture();
    listening_ = true;
    const QString names[] = {nameA, nameB};
    bool any = false;
    for (Side side : {Side::A, Side::B}) {
        const QString& name = names[sideIndex(side)];
        if (name.trimmed().isEmpty()) {
            record(nowUs(), side, RecordKind::Note, QStringLiteral("порт не выбран: сторона не слушается"));
            continue;
        }
        // Open, or on its way (a line behind a device server connects a moment later,
        // and a connect that fails is noted then). A failure has been noted already.
        switch (tap(side).open(name.trimmed()).outcome) {
        case portsession::OpenResult::Outcome::Opened:
        case portsession::OpenResult::Outcome::Connecting: any = true; break;
        case portsession::OpenResult::Outcome::Failed: break;
        }
    }
    if (!any) {
        listening_ = false;
        QStringList lines;
        lines_->finish(lines);
        if (!lines.isEmpty())
            emit linesAdded(lines);
    }
    emit listeningChanged(listening_);
    return listening_;
}

void LineMonitor::stop()
{
    if (!listening_)
        return;
    stopping_ = true;
    for (Side side : {Side::A, Side::B})
        tap(side).close();
    stopping_ = false;
    listening_ = false;
    quiet_.stop();
    QStringList lines;
    lines_->finish(lines);
    if (!lines.isEmpty())
        emit linesAdded(lines);
    emit listeningChanged(false);
}

void LineMonitor::record(std::int64_t timeUs, Side side, RecordKind kind, const QString& text)
{
    capture_.appendEvent(timeUs, side, kind, text);
    show(capture_.record(capture_.size() - 1));
}

void LineMonitor::recordBytes(std::int64_t timeUs, Side side, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    capture_.appendBytes(timeUs, side, bytes);
    show(capture_.record(capture_.size() - 1));
}

void LineMonitor::show(const CaptureRecord& record)
{
    added_.clear();
    lines_->feed(record, added_);
    if (!added_.isEmpty())
        emit linesAdded(added_);
    scheduleQuiet();
}

void LineMonitor::scheduleQuiet()
{
    const std::optional<std::int64_t> at = lines_->nextQuietAt();
    if (!at || !listening_) {
        quiet_.stop();
        return;
    }
    const std::int64_t waitUs = std::max<std::int64_t>(*at - nowUs(), 0);
    quiet_.start(int(std::min<std::int64_t>((waitUs + 999) / 1000, 60'000)));
}

void LineMonitor::quietTimeout()
{
    added_.clear();
    lines_->closeQuiet(nowUs(), added_);
    if (!added_.isEmpty())
        emit linesAdded(added_);
    scheduleQuiet();
}

void LineMonitor::showAgain()
{
    if (!shownFile_.isEmpty()) {
        emit fileToReadAgain();
        return;
    }
    lines_ = std::make_unique<MonitorLines>(capture_);
    QStringList lines;
    for (std::size_t i = 0; i < capture_.size(); ++i)
        lines_->feed(capture_.record(i), lines);
    if (listening_)
        lines_->closeQuiet(nowUs(), lines);
    else
        lines_->finish(lines);
    emit linesReplaced(lines);
    scheduleQuiet();
}

void LineMonitor::setProtocol(Protocol protocol)
{
    if (protocol == capture_.protocol)
        return;
    capture_.protocol = protocol;
    showAgain();
}

void LineMonitor::setGapCharacters(double characters)
{
    if (characters == capture_.gapCharacters)
        return;
    capture_.gapCharacters = characters;
    showAgain();
}

void LineMonitor::load(Capture capture)
{
    stop();
    epoch_.reset();
    shownFile_.clear();
    capture_ = std::move(capture);
    emit presentationChanged();
    showAgain();
}

void LineMonitor::showFile(const Capture& header, const QString& path)
{
    stop();
    epoch_.reset();
    capture_ = header;
    capture_.clearRecords();
    shownFile_ = path;
    lines_ = std::make_unique<MonitorLines>(capture_);
    emit presentationChanged();
}

void LineMonitor::clear()
{
    const bool wasListening = listening_;
    capture_.clearRecords();
    shownFile_.clear();
    epoch_.reset();
    if (wasListening) {
        // Listening goes on into a new capture, whose time 0 is now.
        beginCapture();
        for (Side side : {Side::A, Side::B})
            if (tap(side).state() == PortSession::State::Open) {
                record(nowUs(), side, RecordKind::Opened, tap(side).name());
                record(nowUs(), side, RecordKind::Settings, lineFormatText(lineFormatOf(tap(side).comm().LineSettings())));
            }
    } else {
        lines_ = std::make_unique<MonitorLines>(capture_);
        emit linesReplaced({});
    }
}

} // namespace monitor
