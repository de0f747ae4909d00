// A test script as typed or received: whatever the text, it is refused with a line that
// exists, or accepted as a script a run can follow: every case holds steps, each repeat
// and its end point at each other no deeper than the nesting allows, the steps counted
// stay within the bound, and the line ends the file was saved with change nothing.

#include "fuzzcheck.h"

#include "scriptparser.h"

#include <QSet>

using namespace testscript;

namespace {

QString outcome(const ScriptParse& parse)
{
    if (!parse.script)
        return QStringLiteral("refused %1: %2").arg(parse.errorLine).arg(parse.error);
    return QStringLiteral("%1 cases, %2 steps").arg(parse.script->cases.size()).arg(parse.script->stepCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = fuzz::typedText(data, size);
    const ScriptParse parse = parseScript(text, QStringLiteral("fuzz"));
    const qsizetype lines = text.count(u'\n') + 1;

    if (!text.contains(u'\r')) {
        QString crlf = text;
        crlf.replace(u'\n', QStringLiteral("\r\n"));
        fuzz::check(outcome(parseScript(crlf, QStringLiteral("fuzz"))) == outcome(parse), "CR LF line ends change the script",
                    text);
    }

    if (!parse.script) {
        fuzz::check(!parse.error.isEmpty() && parse.errorLine >= 1 && parse.errorLine <= lines, "a refusal without its line",
                    outcome(parse));
        return 0;
    }
    const Script& script = *parse.script;
    fuzz::check(!script.cases.empty(), "a script without cases was accepted", text);
    std::int64_t steps = 0;
    QSet<QString> names;
    for (const ScriptCase& scriptCase : script.cases) {
        fuzz::check(!scriptCase.steps.empty(), "a case without steps was accepted", text);
        fuzz::check(!names.contains(scriptCase.name), "two cases of one name were accepted", text);
        names.insert(scriptCase.name);
        steps += scriptCase.stepCount;
        int depth = 0;
        for (std::size_t i = 0; i < scriptCase.steps.size(); ++i) {
            const ScriptStep& step = scriptCase.steps[i];
            fuzz::check(step.line >= 1 && step.line <= lines, "a step on a line the text does not have", text);
            if (step.kind == ScriptStep::Kind::Repeat) {
                fuzz::check(++depth <= kDeepestNesting, "repeats nested past the bound", text);
                const std::size_t end = std::size_t(step.jump);
                fuzz::check(end > i && end < scriptCase.steps.size() && scriptCase.steps[end].kind == ScriptStep::Kind::End
                                && std::size_t(scriptCase.steps[end].jump) == i,
                            "a repeat and its end do not point at each other", text);
            } else if (step.kind == ScriptStep::Kind::End) {
                fuzz::check(--depth >= 0, "an end without its repeat", text);
            }
        }
        fuzz::check(depth == 0, "a repeat left open", text);
    }
    fuzz::check(steps == script.stepCount && steps <= kMostSteps, "the steps counted are wrong or over the bound", outcome(parse));
    return 0;
}
