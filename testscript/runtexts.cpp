#include "runtexts.h"

namespace testscript {

QString stepLine(const StepDone& done, std::int64_t total)
{
    QString line = QStringLiteral("шаг %1 из %2, строка %3: %4").arg(done.number).arg(total).arg(done.step->line).arg(done.step->source);
    switch (done.step->kind) {
    case ScriptStep::Kind::Send: {
        QStringList frames;
        for (const QByteArray& frame : done.written)
            frames << replyText(frame);
        if (!frames.isEmpty())
            line += QStringLiteral(" → ") + frames.join(QStringLiteral(" | "));
        line += done.reply.isEmpty() ? QStringLiteral(", ответа нет (TimeOut)")
                                     : QStringLiteral(", ответ ") + replyText(done.reply);
        if (done.replyTime)
            line += QStringLiteral("; ответ через %1 мс").arg(replyMilliseconds(*done.replyTime));
        break;
    }
    case ScriptStep::Kind::Expect:
    case ScriptStep::Kind::ExpectNothing:
        line += done.matched ? QStringLiteral(" — совпало") : QStringLiteral(" — не совпало: ") + done.mismatch;
        if (done.matched && done.step->withinMs > 0 && done.replyTime)
            line += QStringLiteral(" (ответ через %1 мс, within %2 мс)").arg(replyMilliseconds(*done.replyTime)).arg(done.step->withinMs);
        break;
    default:
        break;
    }
    return line;
}

QString strayBytesLine(const StrayBytes& stray)
{
    QString line = stray.afterLastFrame ? QStringLiteral("лишние байты после последнего кадра: ")
                                        : QStringLiteral("лишние байты до кадра: ");
    line += replyText(stray.shown);
    if (stray.count > stray.shown.size())
        line += QStringLiteral(" … (всего %1 байт)").arg(stray.count);
    line += stray.beforeRun ? QStringLiteral(", ждали в порту с начала сценария")
                            : QStringLiteral(", пришли в ") + stray.firstAt.toString(QStringLiteral("HH:mm:ss.zzz"));
    return line;
}

QString caseStartLine(const ScriptCase& scriptCase)
{
    return QStringLiteral("case %1, строка %2").arg(scriptCase.name).arg(scriptCase.line);
}

QString caseResultLine(const CaseResult& result)
{
    const QString head = QStringLiteral("Сценарий: case ") + result.name;
    const QString where = result.failedLine > 0 ? QStringLiteral(" (строка %1)").arg(result.failedLine) : QString();
    switch (result.outcome) {
    case CaseOutcome::Passed:
        return head + QStringLiteral(" пройден");
    case CaseOutcome::Failed:
        return head + QStringLiteral(" не пройден: ") + result.failure + where;
    case CaseOutcome::Broken:
        return head + QStringLiteral(" прерван: ") + result.failure + where;
    case CaseOutcome::Stopped:
        return head + QStringLiteral(" остановлен") + where;
    case CaseOutcome::NotRun:
        break;
    }
    return head + QStringLiteral(" не выполнялся");
}

QString progressText(std::int64_t step, std::int64_t total)
{
    return QStringLiteral("Сценарий: шаг %1 из %2").arg(step).arg(total);
}

RunTally tally(const std::vector<CaseResult>& results)
{
    RunTally t;
    for (const CaseResult& result : results) {
        switch (result.outcome) {
        case CaseOutcome::Passed: ++t.passed; break;
        case CaseOutcome::Failed:
        case CaseOutcome::Broken: ++t.failed; break;
        case CaseOutcome::Stopped:
        case CaseOutcome::NotRun: ++t.notRun; break;
        }
    }
    return t;
}

QString summaryLine(const RunTally& t)
{
    QString line = QStringLiteral("%1 passed, %2 failed").arg(t.passed).arg(t.failed);
    if (t.notRun > 0)
        line += QStringLiteral(", %1 not run").arg(t.notRun);
    return line;
}

} // namespace testscript
