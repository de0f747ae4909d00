#include "capturefile.h"

#include <QDateTime>
#include <QIODevice>
#include <QRegularExpression>

#include <array>
#include <cinttypes>
#include <cstdio>

namespace linecapture {

namespace {

struct KindToken {
    RecordKind kind;
    const char* token;
};

constexpr std::array<KindToken, 6> kKindTokens{{
    {RecordKind::Opened, "opened"},
    {RecordKind::Closed, "closed"},
    {RecordKind::Settings, "settings"},
    {RecordKind::Overrun, "overrun"},
    {RecordKind::LineError, "line-error"},
    {RecordKind::Note, "note"},
}};

const char* kindToken(RecordKind kind)
{
    for (const KindToken& k : kKindTokens)
        if (k.kind == kind)
            return k.token;
    return "";
}

std::optional<RecordKind> kindFromToken(QByteArrayView token)
{
    for (const KindToken& k : kKindTokens)
        if (token == QByteArrayView(k.token))
            return k.kind;
    return std::nullopt;
}

// Floor division, so that a time before time 0 still gets six positive decimals.
std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

QByteArray startText(const Capture& capture)
{
    const std::int64_t seconds = floorDiv(capture.startUtcUs, 1'000'000);
    const std::int64_t micros = capture.startUtcUs - seconds * 1'000'000;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, Qt::OffsetFromUTC, capture.utcOffsetSeconds);
    const int offset = capture.utcOffsetSeconds;
    const int offsetMinutes = (offset < 0 ? -offset : offset) / 60;
    char tail[32];
    std::snprintf(tail, sizeof tail, ".%06" PRId64 "%c%02d:%02d", micros, offset < 0 ? '-' : '+', offsetMinutes / 60,
                  offsetMinutes % 60);
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + tail;
}

std::optional<std::pair<std::int64_t, int>> startFromText(QByteArrayView text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\\.(\\d{6})(?:Z|([+-])(\\d\\d):(\\d\\d))$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return std::nullopt;
    int offset = 0;
    if (!match.captured(3).isEmpty()) {
        offset = (match.captured(4).toInt() * 60 + match.captured(5).toInt()) * 60;
        if (match.captured(3) == u"-")
            offset = -offset;
    }
    QDateTime at = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!at.isValid())
        return std::nullopt;
    at.setOffsetFromUtc(offset);
    return std::pair{at.toSecsSinceEpoch() * 1'000'000 + match.captured(2).toLongLong(), offset};
}

// "12.345678": seconds with exactly six decimals, at or after time 0.
std::optional<std::int64_t> timeFromText(QByteArrayView text)
{
    const qsizetype point = text.indexOf('.');
    if (point < 1 || text.size() - point - 1 != 6 || point > 12)
        return std::nullopt;
    std::int64_t us = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == point)
            continue;
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        us = us * 10 + (c - '0');
    }
    return us;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The next blank-separated token of `rest`, which loses it and the blanks after it.
QByteArrayView takeToken(QByteArrayView& rest)
{
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != ' ')
        ++end;
    const QByteArrayView token = rest.first(end);
    while (end < rest.size() && rest[end] == ' ')
        ++end;
    rest = rest.sliced(end);
    return token;
}

// An event's text on one line, whatever it held, and without what a reader drops at its
// start: the blanks after the record's word, and a byte order mark, which UTF-8 decoding
// takes for the text's own.
QByteArray oneLine(const QString& text)
{
    QString flat = text;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    qsizetype blanks = 0;
    while (blanks < flat.size() && (flat[blanks] == u' ' || flat[blanks] == QChar(0xFEFF)))
        ++blanks;
    return flat.sliced(blanks).toUtf8();
}

} // namespace

QString protocolToken(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Dispenser: return QStringLiteral("dix");
    case Protocol::Memory: return QStringLiteral("ql");
    case Protocol::Meter: return QStringLiteral("erk");
    case Protocol::None: break;
    }
    return QStringLiteral("none");
}

std::optional<Protocol> protocolFromToken(QStringView token)
{
    for (Protocol p : {Protocol::Dispenser, Protocol::Memory, Protocol::Meter, Protocol::None})
        if (token == protocolToken(p))
            return p;
    return std::nullopt;
}

QByteArray captureHeaderText(const Capture& capture)
{
    QByteArray out;
    out += kCaptureMagic;
    out += "\n# A line monitor's capture: each tap's chunks with their times. See capturefile.h.\n";
    out += "start " + startText(capture) + '\n';
    out += "protocol " + protocolToken(capture.protocol).toLatin1() + '\n';
    out += "gap " + QByteArray::number(capture.gapCharacters, 'g', 10) + '\n';
    return out;
}

void appendRecordText(const CaptureRecord& record, QByteArray& out)
{
    char time[40];
    const std::int64_t seconds = floorDiv(record.timeUs, 1'000'000);
    std::snprintf(time, sizeof time, "%" PRId64 ".%06" PRId64 " %c", seconds, record.timeUs - seconds * 1'000'000,
                  record.side == Side::A ? 'A' : 'B');
    out += time;
    if (record.kind == RecordKind::Bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (const std::uint8_t byte : record.bytes) {
            const char hex[3] = {' ', kDigits[byte >> 4], kDigits[byte & 0xF]};
            out.append(hex, 3);
        }
    } else {
        out += ' ';
        out += kindToken(record.kind);
        if (const QByteArray text = oneLine(record.text); !text.isEmpty())
            out += ' ' + text;
    }
    out += '\n';
}

QByteArray captureText(const Capture& capture)
{
    QByteArray out = captureHeaderText(capture);
    out.reserve(out.size() + qsizetype(capture.byteCount() * 3 + capture.size() * 18));
    for (std::size_t i = 0; i < capture.size(); ++i)
        appendRecordText(capture.record(i), out);
    return out;
}

bool writeCapture(const Capture& capture, QIODevice& out)
{
    constexpr qsizetype kPiece = 1 << 20;
    QByteArray piece = captureHeaderText(capture);
    for (std::size_t i = 0; i < capture.size(); ++i) {
        appendRecordText(capture.record(i), piece);
        if (piece.size() >= kPiece) {
            if (out.write(piece) != piece.size())
                return false;
            piece.clear();
        }
    }
    return out.write(piece) == piece.size();
}

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool allHex(QByteArrayView word)
{
    for (const char c : word)
        if (hexValue(c) < 0)
            return false;
    return !word.isEmpty();
}

QString secondsText(std::int64_t us)
{
    return QStringLiteral("%1.%2").arg(us / 1'000'000).arg(us % 1'000'000, 6, 10, QLatin1Char('0'));
}

} // namespace

FirstLine captureFirstLine(QByteArrayView line)
{
    if (line.startsWith(kByteOrderMark))
        line = line.sliced(3);
    if (const qsizetype end = line.indexOf('\n'); end >= 0)
        line.truncate(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line == QByteArrayView(kCaptureMagic))
        return FirstLine::Capture;
    // The same words with another format's number.
    const QByteArrayView family(kCaptureMagic, qsizetype(sizeof kCaptureMagic) - 2);
    return line.startsWith(family) && allHex(line.sliced(family.size())) ? FirstLine::OtherFormat : FirstLine::NoCapture;
}

bool CaptureReader::refuse(const QString& why)
{
    error_ = why;
    record_.reset();
    return false;
}

bool CaptureReader::readHeaderLine(QByteArrayView key, QByteArrayView rest)
{
    const bool known = key == "start" || key == "protocol" || key == "gap";
    if (known && records_ > 0)
        return refuse(QStringLiteral("«%1» после первой записи: заголовок пишется в начале файла").arg(QString::fromUtf8(key)));
    if (key == "start") {
        const auto start = startFromText(rest);
        if (!start)
            return refuse(QStringLiteral("время начала «%1» не в виде 2025-05-01T12:03:04.123456+03:00").arg(QString::fromUtf8(rest)));
        header_.startUtcUs = start->first;
        header_.utcOffsetSeconds = start->second;
    } else if (key == "protocol") {
        const std::optional<Protocol> protocol = protocolFromToken(QString::fromUtf8(rest));
        if (!protocol)
            return refuse(QStringLiteral("протокол «%1» не из dix, ql, erk, none").arg(QString::fromUtf8(rest)));
        header_.protocol = *protocol;
    } else if (key == "gap") {
        bool ok = false;
        const double gap = QString::fromLatin1(rest).toDouble(&ok);
        if (!ok || !(gap > 0 && gap <= 1e6))
            return refuse(QStringLiteral("пауза «%1» не положительное число").arg(QString::fromUtf8(rest)));
        header_.gapCharacters = gap;
    } else {
        ++skippedLines_;
    }
    return true;
}

bool CaptureReader::readLine(QByteArrayView line)
{
    record_.reset();
    if (!error_.isEmpty())
        return false;
    ++lineNumber_;
    if (line.endsWith('\r'))
        line.chop(1);
    if (lineNumber_ == 1) {
        if (captureFirstLine(line) != FirstLine::Capture)
            return refuse(QStringLiteral("не запись монитора линии (первая строка не «%1»)").arg(QLatin1String(kCaptureMagic)));
        return true;
    }
    if (line.size() > kLongestLine)
        return refuse(QStringLiteral("строка длиннее %1 МБ").arg(kLongestLine / (1024 * 1024)));
    if (line.trimmed().isEmpty() || line.startsWith('#'))
        return true;

    QByteArrayView rest = line;
    const QByteArrayView first = takeToken(rest);
    if (first.front() < '0' || first.front() > '9')
        return readHeaderLine(first, rest);

    const std::optional<std::int64_t> time = timeFromText(first);
    if (!time)
        return refuse(QStringLiteral("время «%1» не в виде секунд с шестью знаками после точки").arg(QString::fromUtf8(first)));
    const QByteArrayView sideToken = takeToken(rest);
    if (sideToken != "A" && sideToken != "B")
        return refuse(QStringLiteral("сторона «%1» не A и не B").arg(QString::fromUtf8(sideToken)));
    if (*time < latestUs_ - kTimeDisorderUs)
        return refuse(QStringLiteral("время %1 раньше времени строки %2 (%3): время в записи не идёт назад")
                          .arg(secondsText(*time))
                          .arg(latestLine_)
                          .arg(secondsText(latestUs_)));

    CaptureRecord record;
    record.timeUs = *time;
    record.side = sideToken == "A" ? Side::A : Side::B;
    QByteArrayView word = takeToken(rest);
    if (allHex(word)) {
        // A chunk: bytes only, and every byte whole.
        bytes_.clear();
        for (; !word.isEmpty(); word = takeToken(rest)) {
            if (!allHex(word))
                return refuse(QStringLiteral("байт «%1» не две шестнадцатеричные цифры").arg(QString::fromUtf8(word)));
            if (word.size() % 2 != 0)
                return refuse(QStringLiteral("байт «%1» не две шестнадцатеричные цифры: нечётное число цифр")
                                  .arg(QString::fromUtf8(word)));
            for (qsizetype i = 0; i < word.size(); i += 2)
                bytes_.push_back(static_cast<std::uint8_t>(hexValue(word[i]) << 4 | hexValue(word[i + 1])));
        }
        record.kind = RecordKind::Bytes;
        record.bytes = bytes_;
    } else if (const std::optional<RecordKind> kind = kindFromToken(word)) {
        record.kind = *kind;
        record.text = QString::fromUtf8(rest);
    } else {
        ++skippedLines_;
        return true;
    }
    if (*time > latestUs_ || records_ == 0) {
        latestUs_ = std::max(latestUs_, *time);
        latestLine_ = lineNumber_;
    }
    record.index = records_++;
    record_ = std::move(record);
    return true;
}

bool CaptureReader::finish()
{
    if (!error_.isEmpty())
        return false;
    if (lineNumber_ == 0)
        return refuse(QStringLiteral("файл пуст"));
    return true;
}

CaptureReading readCapture(QByteArrayView text)
{
    CaptureReading reading;
    CaptureReader reader;
    bool read = true;
    for (qsizetype at = 0; at < text.size() && read;) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        read = reader.readLine(text.sliced(at, end - at));
        at = end + 1;
        if (const std::optional<CaptureRecord>& record = reader.record()) {
            if (record->kind == RecordKind::Bytes)
                reading.capture.appendBytes(record->timeUs, record->side, record->bytes);
            else
                reading.capture.appendEvent(record->timeUs, record->side, record->kind, record->text);
            reading.recordLines.push_back(reader.lineNumber());
        }
    }
    if (read)
        read = reader.finish();
    reading.skippedLines = reader.skippedLines();
    if (!read) {
        reading.error = reader.error();
        reading.errorLine = reader.lineNumber();
        reading.recordLines.clear();
        reading.capture.clearRecords();
        return reading;
    }
    Capture& capture = reading.capture;
    const Capture& header = reader.header();
    capture.startUtcUs = header.startUtcUs;
    capture.utcOffsetSeconds = header.utcOffsetSeconds;
    capture.protocol = header.protocol;
    capture.gapCharacters = header.gapCharacters;
    return reading;
}

CaptureStreamReading readCaptureStream(QIODevice& device, const std::function<void(const CaptureReader& reader)>& onRecord,
                                       const std::function<bool(qint64 bytesRead)>& goOn, qint64 pieceBytes)
{
    const qint64 kPiece = std::max<qint64>(pieceBytes, 1);
    CaptureStreamReading reading;
    CaptureReader reader;
    QByteArray piece;
    QByteArray partial; // a line the last piece cut
    qint64 bytesRead = 0;
    const auto fail = [&] {
        reading.error = reader.error();
        reading.errorLine = reader.lineNumber();
        return reading;
    };
    const auto take = [&](QByteArrayView line) {
        if (!reader.readLine(line))
            return false;
        if (reader.record())
            onRecord(reader);
        return true;
    };
    for (;;) {
        piece.resize(kPiece);
        const qint64 n = device.read(piece.data(), kPiece);
        if (n < 0) {
            reading.error = QStringLiteral("не прочитать: %1").arg(device.errorString());
            reading.errorLine = 0;
            return reading;
        }
        if (n == 0)
            break;
        piece.truncate(n);
        bytesRead += n;
        qsizetype at = 0;
        for (qsizetype end; (end = piece.indexOf('\n', at)) >= 0; at = end + 1) {
            const QByteArrayView tail = QByteArrayView(piece).sliced(at, end - at);
            bool read = false;
            if (partial.isEmpty()) {
                read = take(tail);
            } else {
                partial += tail;
                read = take(partial);
                partial.clear();
            }
            if (!read)
                return fail();
        }
        partial += QByteArrayView(piece).sliced(at);
        if (partial.size() > kLongestLine && !take(partial))
            return fail();
        if (goOn && !goOn(bytesRead)) {
            reading.stopped = true;
            return reading;
        }
    }
    // A text that does not end with a line end still has its last line.
    if (!partial.isEmpty() && !take(partial))
        return fail();
    if (!reader.finish())
        return fail();
    reading.header = reader.header();
    reading.skippedLines = reader.skippedLines();
    return reading;
}

} // namespace linecapture
