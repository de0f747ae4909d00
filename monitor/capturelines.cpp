#include "capturelines.h"

#include "backgroundread.h"
#include "logstore.h"
#include "monitorlines.h"

#include <QFile>
#include <QThread>

#include <deque>

namespace monitor {

namespace {

// The lines are made in blocks of this many, and the oldest block goes once the ones
// after it hold the limit: the lines kept never pass the limit by more than a block.
constexpr qsizetype kBlockLines = 1 << 16;

class BoundedLines {
public:
    explicit BoundedLines(qsizetype limit) : limit_(limit) {}

    void append(const QStringList& lines)
    {
        for (const QString& line : lines) {
            if (blocks_.empty() || blocks_.back()->lineCount() >= kBlockLines)
                blocks_.push_back(std::make_unique<ui::LogStore>());
            blocks_.back()->append(line);
            ++held_;
        }
        while (!blocks_.empty() && held_ - blocks_.front()->lineCount() >= limit_) {
            held_ -= blocks_.front()->lineCount();
            dropped_ += blocks_.front()->lineCount();
            blocks_.pop_front();
        }
    }

    qint64 dropped() const { return dropped_ + std::max<qsizetype>(held_ - limit_, 0); }

    // The lines kept, after the notice of those that are not; each block is given back as
    // soon as it is copied.
    std::unique_ptr<ui::LogStore> take()
    {
        auto out = std::make_unique<ui::LogStore>();
        qsizetype skip = std::max<qsizetype>(held_ - limit_, 0);
        if (dropped() > 0)
            out->append(droppedLinesNotice(dropped(), limit_));
        for (; !blocks_.empty(); blocks_.pop_front()) {
            const ui::LogStore& block = *blocks_.front();
            for (qsizetype i = 0; i < block.lineCount(); ++i) {
                if (skip > 0) {
                    --skip;
                    continue;
                }
                out->append(QString::fromUtf8(block.lineUtf8(i)));
            }
        }
        return out;
    }

private:
    const qsizetype limit_;
    std::deque<std::unique_ptr<ui::LogStore>> blocks_;
    qsizetype held_ = 0;
    qint64 dropped_ = 0;
};

} // namespace

QString droppedLinesNotice(qint64 dropped, qsizetype limit)
{
    return QStringLiteral("… %1 строк от начала записи не показаны: в окне не больше %2 последних строк, все они в файле")
        .arg(dropped)
        .arg(limit);
}

CaptureLines readCaptureLines(const QString& path, std::optional<Protocol> protocol, std::optional<double> gap,
                              qsizetype lineLimit, QThread* linesThread, linecapture::ReadProgress& progress)
{
    CaptureLines result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const qint64 size = file.size();
    BoundedLines kept(lineLimit);
    std::unique_ptr<MonitorLines> lines;
    QStringList made;
    Capture header;
    const auto presentation = [&](const Capture& read) {
        header = read;
        if (protocol)
            header.protocol = *protocol;
        if (gap)
            header.gapCharacters = *gap;
        lines = std::make_unique<MonitorLines>(header);
    };
    const linecapture::CaptureStreamReading reading = linecapture::readCaptureStream(
        file,
        [&](const linecapture::CaptureReader& reader) {
            // The header is whole once the first record comes.
            if (!lines)
                presentation(reader.header());
            lines->feed(*reader.record(), made);
            kept.append(made);
            made.clear();
        },
        [&](qint64 read) { return progress.report(read, size); });
    result.error = reading.error;
    result.errorLine = reading.errorLine;
    result.stopped = reading.stopped;
    if (reading.stopped || !reading.error.isEmpty())
        return result;
    if (!lines)
        presentation(reading.header);
    lines->finish(made);
    kept.append(made);
    result.header = header;
    result.droppedLines = kept.dropped();
    result.lines = kept.take();
    result.lines->moveToThread(linesThread);
    return result;
}

} // namespace monitor
