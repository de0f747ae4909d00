#include "scriptparser.h"

#include "backgroundread.h"
#include "capturefile.h"
#include "capturescript.h"
#include "controlleraddress.h"
#include "frametext.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <unordered_map>

namespace testscript {

namespace {

using Kind = ScriptStep::Kind;

struct Refusal {
    int line;
    QString why;
};

const QRegularExpression& placeholderPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\{addr\\}"), QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// A whole number from `lowest` to `highest`, written in decimal digits only.
std::optional<int> boundedNumber(const QString& text, int lowest, int highest)
{
    if (text.isEmpty() || text.size() > 10 || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    const qint64 value = text.toLongLong();
    if (value < lowest || value > highest)
        return std::nullopt;
    return static_cast<int>(value);
}

// Why the console would refuse the frame text, or nothing. Stricter than the console's
// own conversion, which reads a stray character as 0 and a lone digit as its high half:
// in a script either is a typing error, and a test that sends what was not meant
// proves nothing.
std::optional<QString> frameProblem(const QString& written)
{
    QString text = written;
    text.replace(placeholderPattern(), QStringLiteral("01"));
    for (QChar c : text) {
        if (c == u'{' || c == u'}')
            return QStringLiteral("в кадре бывает только подстановка {addr}");
        if (c != u' ' && c != u'*' && !transport::hexDigitValue(c))
            return QStringLiteral("символ «%1» не бывает в тексте кадра").arg(c);
    }
    // Cut as the line cuts it: each "*" closes a frame, the rest after the last one is a
    // frame without checksum.
    for (const QString& piece : transport::splitFrameText(text)) {
        const bool closed = piece.endsWith(u'*');
        const qsizetype digits = piece.size() - piece.count(u' ') - (closed ? 1 : 0);
        if (digits == 0)
            return QStringLiteral("«*» без байтов перед ним: контрольная сумма пустого кадра");
        if (digits % 2 != 0)
            return QStringLiteral("нечётное число шестнадцатеричных цифр: байт пишется двумя цифрами");
        if (digits / 2 + (closed ? 1 : 0) > transport::kMaxFrameBytes)
            return QStringLiteral("кадр длиннее %1 байт").arg(transport::kMaxFrameBytes);
    }
    return std::nullopt;
}

class Parser {
public:
    explicit Parser(const QString& defaultCaseName)
        : defaultCaseName_(defaultCaseName)
    {
    }

    std::optional<Refusal> line(int number, const QString& raw)
    {
        QString text = raw;
        const qsizetype comment = text.indexOf(u'#');
        if (comment >= 0)
            text.truncate(comment);
        text.replace(u'\t', u' ');
        text = text.trimmed();
        if (text.isEmpty())
            return std::nullopt;
        const qsizetype blank = text.indexOf(u' ');
        const QString keyword = text.left(blank < 0 ? text.size() : blank).toLower();
        const QString rest = blank < 0 ? QString() : text.mid(blank + 1).trimmed();
        const auto refuse = [&](const QString& why) { return Refusal{number, why}; };

        if (keyword == u"case") {
            if (rest.isEmpty())
                return refuse(QStringLiteral("у case нет имени"));
            if (!open_.empty())
                return refuse(QStringLiteral("case внутри repeat (строка %1): repeat закрывается end").arg(open_.back().line));
            if (const std::optional<Refusal> empty = closeCase())
                return empty;
            // By a hash: a replayed capture is a case an exchange, hundreds of thousands.
            const auto [known, added] = caseLines_.try_emplace(rest, number);
            if (!added)
                return refuse(QStringLiteral("case «%1» уже есть (строка %2)").arg(rest).arg(known->second));
            script_.cases.push_back(ScriptCase{.name = rest, .line = number, .steps = {}, .stepCount = 0});
            sendInCase_ = false;
            return std::nullopt;
        }

        ScriptStep step{.kind = Kind::Send, .line = number, .source = text.simplified(), .text = {}, .value = 0, .jump = 0, .pattern = {}};
        if (keyword == u"send") {
            if (rest.isEmpty())
                return refuse(QStringLiteral("у send нет кадра"));
            if (const std::optional<QString> problem = frameProblem(rest))
                return refuse(QStringLiteral("кадр «%1» не отправить: %2").arg(rest, *problem));
            step.text = rest;
            sendInCase_ = true;
            if (usesAddress(rest) && !addressSet_)
                script_.needsStartAddress = true;
        } else if (keyword == u"expect") {
            // "… within MS" bounds the reply's time; no pattern holds the letters.
            QString written = rest;
            static const QRegularExpression within(QStringLiteral("^(.*)\\bwithin(?:\\s+(\\S*))?$"),
                                                   QRegularExpression::CaseInsensitiveOption);
            if (const QRegularExpressionMatch bound = within.match(rest); bound.hasMatch()) {
                const std::optional<int> ms = boundedNumber(bound.captured(2), 1, kLongestWindowMs);
                if (!ms)
                    return refuse(QStringLiteral("within «%1»: нужно число миллисекунд от 1 до %2")
                                      .arg(bound.captured(2))
                                      .arg(kLongestWindowMs));
                written = bound.captured(1).trimmed();
                step.withinMs = *ms;
            }
            if (written.compare(u"nothing", Qt::CaseInsensitive) == 0) {
                if (step.withinMs > 0)
                    return refuse(QStringLiteral("expect nothing within: тишину проверяет всё окно, срок ответа ей не нужен"));
                step.kind = Kind::ExpectNothing;
            } else {
                // Checked with an address in place; one that uses it is parsed again
                // with the address of the moment.
                const QString withAddress = frameWithAddress(written, QStringLiteral("01"));
                if (withAddress.contains(u'{') || withAddress.contains(u'}'))
                    return refuse(QStringLiteral("образец «%1»: в нём бывает только подстановка {addr}").arg(written));
                const PatternParse parsed = parseReplyPattern(withAddress);
                if (!parsed.pattern)
                    return refuse(QStringLiteral("образец «%1»: %2").arg(written, parsed.error));
                step.kind = Kind::Expect;
                step.text = written;
                step.pattern = *parsed.pattern;
                if (usesAddress(written) && !addressSet_)
                    script_.needsStartAddress = true;
            }
            if (!sendInCase_)
                return refuse(QStringLiteral("expect без send перед ним: проверять нечего"));
        } else if (keyword == u"window" || keyword == u"wait") {
            const bool window = keyword == u"window";
            const int longest = window ? kLongestWindowMs : kLongestWaitMs;
            QString number = rest;
            // "window MS early": the window ends once the reply after each send is complete.
            if (window && rest.contains(u' ') && rest.section(u' ', -1).compare(u"early", Qt::CaseInsensitive) == 0) {
                number = rest.section(u' ', 0, -2).trimmed();
                step.early = true;
            }
            const std::optional<int> ms = boundedNumber(number, 1, longest);
            if (!ms)
                return refuse(QStringLiteral("%1 «%2»: нужно число миллисекунд от 1 до %3%4")
                                  .arg(keyword, rest)
                                  .arg(longest)
                                  .arg(window ? QStringLiteral(", за ним может стоять early") : QString()));
            step.kind = window ? Kind::Window : Kind::Wait;
            step.value = *ms;
        } else if (keyword == u"address") {
            const std::optional<QString> address = rest.contains(u' ') ? std::nullopt : transport::frameAddressText(rest);
            if (!address)
                return refuse(QStringLiteral("address «%1»: нужны одна или две шестнадцатеричные цифры").arg(rest));
            step.kind = Kind::Address;
            step.text = *address;
            addressSet_ = true;
        } else if (keyword == u"repeat") {
            const std::optional<int> count = boundedNumber(rest, 1, kMostRepeats);
            if (!count)
                return refuse(QStringLiteral("repeat «%1»: нужно число повторов от 1 до %2").arg(rest).arg(kMostRepeats));
            if (open_.size() >= std::size_t(kDeepestNesting))
                return refuse(QStringLiteral("repeat внутри %1 других repeat: глубже не вкладывается").arg(kDeepestNesting));
            step.kind = Kind::Repeat;
            step.value = *count;
        } else if (keyword == u"end") {
            if (!rest.isEmpty())
                return refuse(QStringLiteral("после end ничего не пишется"));
            if (open_.empty())
                return refuse(QStringLiteral("end без repeat"));
            step.kind = Kind::End;
        } else {
            return refuse(QStringLiteral("неизвестное слово «%1»: шаги — case, send, expect, window, wait, address, "
                                         "repeat, end").arg(text.left(blank < 0 ? text.size() : blank)));
        }

        if (script_.cases.empty()) {
            script_.cases.push_back(ScriptCase{.name = defaultCaseName_, .line = number, .steps = {}, .stepCount = 0});
            caseLines_.emplace(defaultCaseName_, number);
        }
        std::vector<ScriptStep>& steps = current().steps;
        const int index = static_cast<int>(steps.size());
        std::optional<Refusal> tooMany;
        if (step.kind == Kind::Repeat) {
            open_.push_back({index, number, 0, 0});
        } else if (step.kind == Kind::End) {
            const OpenRepeat ended = open_.back();
            open_.pop_back();
            step.jump = ended.index;
            steps[std::size_t(ended.index)].jump = index;
            tooMany = count(ended.steps * steps[std::size_t(ended.index)].value,
                            (ended.work + 1) * steps[std::size_t(ended.index)].value, ended.line);
        } else {
            tooMany = count(1, 1, number);
        }
        steps.push_back(std::move(step));
        return tooMany;
    }

    ScriptParse finish(int lastLine)
    {
        if (!open_.empty())
            return refused({open_.back().line, QStringLiteral("repeat без end")});
        if (script_.cases.empty())
            return refused({std::max(lastLine, 1), QStringLiteral("в сценарии нет ни одного шага")});
        if (const std::optional<Refusal> empty = closeCase())
            return refused(*empty);
        script_.cases.shrink_to_fit();
        return {std::move(script_), 0, {}};
    }

    static ScriptParse refused(const Refusal& refusal) { return {std::nullopt, refusal.line, refusal.why}; }

private:
    ScriptCase& current() { return script_.cases.back(); }

    // The case just ended: it must hold a step; its steps were counted as it was read.
    std::optional<Refusal> closeCase()
    {
        if (script_.cases.empty())
            return std::nullopt;
        ScriptCase& scriptCase = current();
        if (scriptCase.steps.empty())
            return Refusal{scriptCase.line, QStringLiteral("case «%1» без шагов").arg(scriptCase.name)};
        // A replayed capture is a case an exchange: no room kept for steps that never come.
        scriptCase.steps.shrink_to_fit();
        scriptCase.stepCount = caseSteps_;
        script_.stepCount += caseSteps_;
        caseSteps_ = 0;
        return std::nullopt;
    }

    // Adds what a step, or a repeat just ended, takes to the repeat around it, or to the
    // run. Counted as the lines come, with no walk over the steps afterwards: a walk
    // would go as deep as the repeats do, and each level is a product of the ones in it.
    // `line` is the outermost repeat's when the bound is passed inside one.
    std::optional<Refusal> count(std::int64_t steps, std::int64_t work, int line)
    {
        const Refusal tooMany{line, QStringLiteral("больше %1 шагов в одном запуске").arg(kMostSteps)};
        if (!open_.empty()) {
            open_.back().steps += steps;
            open_.back().work += work;
            // Each level stays within the bound, so the products above cannot overflow.
            if (open_.back().work > kMostSteps)
                return Refusal{open_.front().line, tooMany.why};
            return std::nullopt;
        }
        caseSteps_ += steps;
        work_ += work;
        if (work_ > kMostSteps)
            return tooMany;
        return std::nullopt;
    }

    struct OpenRepeat {
        int index; // in the current case's steps
        int line;
        // Inside it so far: the steps one pass takes, and the work (steps and passes
        // through the ends of the repeats inside) that the bound is put on.
        std::int64_t steps;
        std::int64_t work;
    };

    const QString defaultCaseName_;
    Script script_;
    std::unordered_map<QString, int> caseLines_; // each case's name and line
    std::vector<OpenRepeat> open_; // the repeats not yet ended, in the current case
    std::int64_t caseSteps_ = 0; // the steps of the current case, outside its open repeats
    std::int64_t work_ = 0; // the whole run's, outside the open repeats
    bool sendInCase_ = false;
    bool addressSet_ = false;
};

} // namespace

QString frameWithAddress(const QString& frameText, const QString& address)
{
    QString text = frameText;
    return text.replace(placeholderPattern(), address);
}

bool usesAddress(const QString& frameText)
{
    return frameText.contains(placeholderPattern());
}

ScriptParse parseScript(const QString& text, const QString& defaultCaseName)
{
    Parser parser(defaultCaseName);
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (const std::optional<Refusal> refusal = parser.line(static_cast<int>(i + 1), line))
            return Parser::refused(*refusal);
    }
    // A text that ends with a newline has no line after it.
    const int last = static_cast<int>(lines.size()) - (text.endsWith(u'\n') ? 1 : 0);
    return parser.finish(last);
}

namespace {

ScriptParse replayedCapture(QFile& file, linecapture::ReadProgress* progress, const ReplayWindows& windows)
{
    // The script is parsed as the capture is read: its steps name the capture's lines.
    Parser parser{QString()};
    std::optional<CaptureReplay> replay;
    std::vector<ReplayLine> lines;
    std::optional<Refusal> refusal;
    const auto parse = [&] {
        for (const ReplayLine& line : lines) {
            if (!refusal)
                refusal = parser.line(line.fileLine, line.text);
        }
        lines.clear();
    };
    const qint64 size = file.size();
    const linecapture::CaptureStreamReading reading = linecapture::readCaptureStream(
        file,
        [&](const linecapture::CaptureReader& reader) {
            if (refusal)
                return;
            if (!replay)
                replay.emplace(reader.header(), windows);
            replay->feed(*reader.record(), reader.lineNumber(), lines);
            parse();
        },
        [&](qint64 read) { return !refusal && (!progress || progress->report(read, size)); });
    if (refusal)
        return {std::nullopt, refusal->line, QStringLiteral("запись не воспроизвести: %1").arg(refusal->why)};
    if (reading.stopped)
        return {std::nullopt, 0, QStringLiteral("чтение прервано")};
    if (!reading.error.isEmpty())
        return {std::nullopt, reading.errorLine, reading.error};
    if (replay) {
        replay->finish(lines);
        parse();
        if (refusal)
            return {std::nullopt, refusal->line, QStringLiteral("запись не воспроизвести: %1").arg(refusal->why)};
    }
    if (!replay || !replay->anyExchange())
        return {std::nullopt, 0, QStringLiteral("в записи нет ни одного кадра стороны A — воспроизводить нечего")};
    return parser.finish(0);
}

// The line of the first byte that is no UTF-8.
int firstLineNotUtf8(const QString& decoded)
{
    int line = 1;
    for (const QChar c : decoded) {
        if (c == QChar::ReplacementCharacter)
            break;
        if (c == u'\n')
            ++line;
    }
    return line;
}

} // namespace

ScriptParse readScriptFile(const QString& path, linecapture::ReadProgress* progress, const ReplayWindows& windows)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {std::nullopt, 0, QStringLiteral("не файл")};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, 0, QStringLiteral("не открыть: %1").arg(file.errorString())};
    // A capture is told by its first line, whatever the file is called.
    const linecapture::FirstLine first = linecapture::captureFirstLine(file.peek(64));
    if (first == linecapture::FirstLine::OtherFormat)
        return {std::nullopt, 1, QStringLiteral("запись монитора линии другого формата: эта версия читает «%1»")
                                     .arg(QLatin1String(linecapture::kCaptureMagic))};
    const bool capture = first == linecapture::FirstLine::Capture;
    const qint64 largest = capture ? kLargestReplayedCapture : kLargestScriptFile;
    if (file.size() > largest)
        return {std::nullopt, 0, QStringLiteral("файл больше %1 МБ — это не %2")
                                     .arg(largest / (1024 * 1024))
                                     .arg(capture ? QStringLiteral("запись для воспроизведения") : QStringLiteral("сценарий"))};
    if (capture)
        return replayedCapture(file, progress, windows);
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return {std::nullopt, firstLineNotUtf8(text), QStringLiteral("текст не в кодировке UTF-8")};
    // An editor on Windows may have begun the file with a byte order mark.
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (progress && progress->stopRequested())
        return {std::nullopt, 0, QStringLiteral("чтение прервано")};
    return parseScript(text, info.completeBaseName());
}

QString scriptErrorText(const QString& path, const ScriptParse& parse)
{
    if (parse.errorLine > 0)
        return QStringLiteral("%1:%2: %3").arg(path).arg(parse.errorLine).arg(parse.error);
    return QStringLiteral("%1: %2").arg(path, parse.error);
}

} // namespace testscript
