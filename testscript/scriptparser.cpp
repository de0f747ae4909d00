#include "scriptparser.h"

#include "capturefile.h"
#include "capturescript.h"
#include "controlleraddress.h"
#include "frametext.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

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
                return refuse(QStringLiteral("case внутри repeat (строка %1): repeat закрывается end")
                                  .arg(current().steps[std::size_t(open_.back())].line));
            if (const std::optional<Refusal> empty = closeCase())
                return empty;
            for (const ScriptCase& other : script_.cases)
                if (other.name == rest)
                    return refuse(QStringLiteral("case «%1» уже есть (строка %2)").arg(rest).arg(other.line));
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
            if (rest.compare(u"nothing", Qt::CaseInsensitive) == 0) {
                step.kind = Kind::ExpectNothing;
            } else {
                // Checked with an address in place; one that uses it is parsed again
                // with the address of the moment.
                const QString withAddress = frameWithAddress(rest, QStringLiteral("01"));
                if (withAddress.contains(u'{') || withAddress.contains(u'}'))
                    return refuse(QStringLiteral("образец «%1»: в нём бывает только подстановка {addr}").arg(rest));
                const PatternParse parsed = parseReplyPattern(withAddress);
                if (!parsed.pattern)
                    return refuse(QStringLiteral("образец «%1»: %2").arg(rest, parsed.error));
                step.kind = Kind::Expect;
                step.text = rest;
                step.pattern = *parsed.pattern;
                if (usesAddress(rest) && !addressSet_)
                    script_.needsStartAddress = true;
            }
            if (!sendInCase_)
                return refuse(QStringLiteral("expect без send перед ним: проверять нечего"));
        } else if (keyword == u"window" || keyword == u"wait") {
            const bool window = keyword == u"window";
            const int longest = window ? kLongestWindowMs : kLongestWaitMs;
            const std::optional<int> ms = boundedNumber(rest, 1, longest);
            if (!ms)
                return refuse(QStringLiteral("%1 «%2»: нужно число миллисекунд от 1 до %3").arg(keyword, rest).arg(longest));
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

        if (script_.cases.empty())
            script_.cases.push_back(ScriptCase{.name = defaultCaseName_, .line = number, .steps = {}, .stepCount = 0});
        std::vector<ScriptStep>& steps = current().steps;
        const int index = static_cast<int>(steps.size());
        if (step.kind == Kind::Repeat) {
            open_.push_back(index);
        } else if (step.kind == Kind::End) {
            step.jump = open_.back();
            steps[std::size_t(open_.back())].jump = index;
            open_.pop_back();
        }
        steps.push_back(std::move(step));
        return std::nullopt;
    }

    ScriptParse finish(int lastLine)
    {
        if (!open_.empty())
            return refused({current().steps[std::size_t(open_.back())].line, QStringLiteral("repeat без end")});
        if (script_.cases.empty())
            return refused({std::max(lastLine, 1), QStringLiteral("в сценарии нет ни одного шага")});
        if (const std::optional<Refusal> empty = closeCase())
            return refused(*empty);
        for (const ScriptCase& scriptCase : script_.cases) {
            script_.stepCount += scriptCase.stepCount;
            if (script_.stepCount > kMostSteps)
                return refused({scriptCase.line, QStringLiteral("больше %1 шагов в одном запуске").arg(kMostSteps)});
        }
        return {std::move(script_), 0, {}};
    }

    static ScriptParse refused(const Refusal& refusal) { return {std::nullopt, refusal.line, refusal.why}; }

private:
    ScriptCase& current() { return script_.cases.back(); }

    // The case just ended: it must hold a step, and its steps are counted out.
    std::optional<Refusal> closeCase()
    {
        if (script_.cases.empty())
            return std::nullopt;
        ScriptCase& scriptCase = current();
        if (scriptCase.steps.empty())
            return Refusal{scriptCase.line, QStringLiteral("case «%1» без шагов").arg(scriptCase.name)};
        const std::optional<std::int64_t> count = countSteps(scriptCase.steps, 0, scriptCase.steps.size());
        if (!count)
            return Refusal{scriptCase.line, QStringLiteral("больше %1 шагов в одном запуске").arg(kMostSteps)};
        scriptCase.stepCount = *count;
        return std::nullopt;
    }

    // The steps a run of [first, last) takes; nothing when there are too many to count.
    static std::optional<std::int64_t> countSteps(const std::vector<ScriptStep>& steps, std::size_t first, std::size_t last)
    {
        std::int64_t count = 0;
        for (std::size_t i = first; i < last; ++i) {
            if (steps[i].kind == Kind::Repeat) {
                const std::size_t end = std::size_t(steps[i].jump);
                const std::optional<std::int64_t> body = countSteps(steps, i + 1, end);
                if (!body)
                    return std::nullopt;
                count += *body * steps[i].value;
                i = end;
            } else {
                ++count;
            }
            if (count > kMostSteps)
                return std::nullopt;
        }
        return count;
    }

    const QString defaultCaseName_;
    Script script_;
    std::vector<int> open_; // indexes of the repeats not yet ended, in the current case
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

ScriptParse replayedCapture(const QByteArray& bytes)
{
    const linecapture::CaptureReading reading = linecapture::readCapture(bytes);
    if (!reading.error.isEmpty())
        return {std::nullopt, reading.errorLine, reading.error};
    const CaptureScript replay = captureScriptText(reading.capture, reading.recordLines);
    if (!replay.error.isEmpty())
        return {std::nullopt, 0, replay.error};
    ScriptParse parse = parseScript(replay.text, QString());
    // Steps and refusals name the lines of the capture file, not of the text made here.
    const auto fileLine = [&](int line) { return line >= 1 && std::size_t(line) <= replay.fileLines.size() ? replay.fileLines[std::size_t(line - 1)] : 0; };
    if (!parse.script)
        return {std::nullopt, fileLine(parse.errorLine), QStringLiteral("запись не воспроизвести: %1").arg(parse.error)};
    for (ScriptCase& scriptCase : parse.script->cases) {
        scriptCase.line = fileLine(scriptCase.line);
        for (ScriptStep& step : scriptCase.steps)
            step.line = fileLine(step.line);
    }
    return parse;
}

} // namespace

ScriptParse readScriptFile(const QString& path)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {std::nullopt, 0, QStringLiteral("не файл")};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, 0, QStringLiteral("не открыть: %1").arg(file.errorString())};
    const QByteArray magic = file.peek(qint64(sizeof linecapture::kCaptureMagic) - 1);
    const bool capture = magic == linecapture::kCaptureMagic;
    const qint64 largest = capture ? kLargestReplayedCapture : kLargestScriptFile;
    if (file.size() > largest)
        return {std::nullopt, 0, QStringLiteral("файл больше %1 МБ — это не %2")
                                     .arg(largest / (1024 * 1024))
                                     .arg(capture ? QStringLiteral("запись для воспроизведения") : QStringLiteral("сценарий"))};
    const QByteArray bytes = file.readAll();
    if (capture)
        return replayedCapture(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // The line of the first byte that is no UTF-8.
        int line = 1;
        for (const QString& piece : text.split(u'\n')) {
            if (piece.contains(QChar::ReplacementCharacter))
                break;
            ++line;
        }
        return {std::nullopt, line, QStringLiteral("текст не в кодировке UTF-8")};
    }
    return parseScript(text, info.completeBaseName());
}

QString scriptErrorText(const QString& path, const ScriptParse& parse)
{
    if (parse.errorLine > 0)
        return QStringLiteral("%1:%2: %3").arg(path).arg(parse.errorLine).arg(parse.error);
    return QStringLiteral("%1: %2").arg(path, parse.error);
}

} // namespace testscript
