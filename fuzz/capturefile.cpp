// A capture file as the monitor's "Открыть запись ..." and the scripts' replay read it:
// read whole or a piece at a time (cut anywhere), the same records or the same refusal
// with the same line; a capture read is written back and read again unchanged; no
// record runs back in time past the bound; and the frames cut from it hold every byte
// of its chunks exactly once.
//
// Input: one byte for the size of the pieces, then the file.

#include "fuzzcheck.h"

#include "capturefile.h"
#include "captureframes.h"

#include <QBuffer>

using namespace linecapture;

namespace {

// The first line in which two texts differ, both ways, for a failure's message.
QString firstDifference(const QByteArray& a, const QByteArray& b)
{
    const QList<QByteArray> left = a.split('\n');
    const QList<QByteArray> right = b.split('\n');
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const QByteArray l = left.value(i);
        const QByteArray r = right.value(i);
        if (l != r)
            return QStringLiteral("line %1: %2 / %3").arg(i + 1).arg(fuzz::hexDump(l), fuzz::hexDump(r));
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const qint64 piece = 1 + data[0] % 61;
    const QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const CaptureReading whole = readCapture(file);
    QBuffer device;
    device.setData(file);
    device.open(QIODevice::ReadOnly);
    Capture streamed;
    const CaptureStreamReading read = readCaptureStream(
        device,
        [&](const CaptureReader& reader) {
            const CaptureRecord& record = *reader.record();
            if (record.kind == RecordKind::Bytes)
                streamed.appendBytes(record.timeUs, record.side, record.bytes);
            else
                streamed.appendEvent(record.timeUs, record.side, record.kind, record.text);
        },
        {}, piece);
    fuzz::check(read.error == whole.error && read.errorLine == whole.errorLine, "read in pieces, the file is refused otherwise",
                QStringLiteral("%1: %2 / %3: %4").arg(whole.errorLine).arg(whole.error).arg(read.errorLine).arg(read.error));
    if (!whole.error.isEmpty())
        return 0;
    streamed.startUtcUs = read.header.startUtcUs;
    streamed.utcOffsetSeconds = read.header.utcOffsetSeconds;
    streamed.protocol = read.header.protocol;
    streamed.gapCharacters = read.header.gapCharacters;
    const QByteArray text = captureText(whole.capture);
    fuzz::check(captureText(streamed) == text, "read in pieces, the file gives other records",
                firstDifference(captureText(streamed), text));
    const CaptureReading again = readCapture(text);
    fuzz::check(again.error.isEmpty() && captureText(again.capture) == text, "a capture written back reads otherwise",
                again.error + firstDifference(text, captureText(again.capture)));

    std::int64_t latest = 0;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < whole.capture.size(); ++i) {
        const CaptureRecord record = whole.capture.record(i);
        fuzz::check(record.timeUs >= latest - kTimeDisorderUs, "a record runs back in time past the bound");
        latest = std::max(latest, record.timeUs);
        bytes += record.bytes.size();
    }
    std::size_t framed = 0;
    for (const CaptureItem& item : captureItems(whole.capture))
        framed += item.bytes.size();
    fuzz::check(framed == bytes, "the frames do not hold each byte of the chunks once");
    return 0;
}
