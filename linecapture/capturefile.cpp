#include "capturefile.h"

#include <QDateTime>
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

// A note's text on one line, whatever it held.
QByteArray oneLine(const QString& text)
{
    QString flat = text;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    return flat.toUtf8();
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
        if (!record.text.isEmpty())
            out += ' ' + oneLine(record.text);
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

CaptureReading readCapture(QByteArrayView text)
{
    CaptureReading reading;
    Capture& capture = reading.capture;
    std::vector<std::uint8_t> bytes;
    int lineNumber = 0;
    const auto refuse = [&](const QString& why) {
        reading.error = why;
        reading.errorLine = lineNumber;
        capture.clearRecords();
        reading.recordLines.clear();
        return reading;
    };

    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        if (lineNumber == 1) {
            if (line != QByteArrayView(kCaptureMagic))
                return refuse(QStringLiteral("не запись монитора линии (первая строка не «%1»)").arg(QLatin1String(kCaptureMagic)));
            continue;
        }
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;

        QByteArrayView rest = line;
        const QByteArrayView first = takeToken(rest);
        if (first.front() < '0' || first.front() > '9') {
            // A header key.
            if (first == "start") {
                const auto start = startFromText(rest);
                if (!start)
                    return refuse(QStringLiteral("время начала «%1» не в виде 2025-05-01T12:03:04.123456+03:00")
                                      .arg(QString::fromUtf8(rest)));
                capture.startUtcUs = start->first;
                capture.utcOffsetSeconds = start->second;
            } else if (first == "protocol") {
                const std::optional<Protocol> protocol = protocolFromToken(QString::fromUtf8(rest));
                if (!protocol)
                    return refuse(QStringLiteral("протокол «%1» не из dix, ql, erk, none").arg(QString::fromUtf8(rest)));
                capture.protocol = *protocol;
            } else if (first == "gap") {
                bool ok = false;
                const double gap = QString::fromLatin1(rest).toDouble(&ok);
                if (!ok || !(gap > 0 && gap <= 1e6))
                    return refuse(QStringLiteral("пауза «%1» не положительное число").arg(QString::fromUtf8(rest)));
                capture.gapCharacters = gap;
            } else {
                ++reading.skippedLines;
            }
            continue;
        }

        const std::optional<std::int64_t> time = timeFromText(first);
        if (!time)
            return refuse(QStringLiteral("время «%1» не в виде секунд с шестью знаками после точки").arg(QString::fromUtf8(first)));
        const QByteArrayView sideToken = takeToken(rest);
        if (sideToken != "A" && sideToken != "B")
            return refuse(QStringLiteral("сторона «%1» не A и не B").arg(QString::fromUtf8(sideToken)));
        const Side side = sideToken == "A" ? Side::A : Side::B;

        // A chunk is hex pairs only; anything else starts with a word.
        if (!rest.isEmpty() && hexValue(rest[0]) >= 0 && (rest.size() == 2 || (rest.size() > 2 && rest[2] == ' '))) {
            bytes.clear();
            while (!rest.isEmpty()) {
                const QByteArrayView pair = takeToken(rest);
                const int high = pair.size() == 2 ? hexValue(pair[0]) : -1;
                const int low = pair.size() == 2 ? hexValue(pair[1]) : -1;
                if (high < 0 || low < 0)
                    return refuse(QStringLiteral("байт «%1» не две шестнадцатеричные цифры").arg(QString::fromUtf8(pair)));
                bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
            }
            capture.appendBytes(*time, side, bytes);
            reading.recordLines.resize(capture.size(), lineNumber);
            continue;
        }
        const QByteArrayView word = takeToken(rest);
        const std::optional<RecordKind> kind = kindFromToken(word);
        if (!kind) {
            ++reading.skippedLines;
            continue;
        }
        capture.appendEvent(*time, side, *kind, QString::fromUtf8(rest));
        reading.recordLines.resize(capture.size(), lineNumber);
    }
    if (lineNumber == 0)
        return refuse(QStringLiteral("файл пуст"));
    return reading;
}

} // namespace linecapture
