#include "capturescript.h"

#include "captureframes.h"
#include "frametext.h"

#include <QStringList>

namespace testscript {

namespace {

using linecapture::CaptureItem;
using linecapture::RecordKind;
using linecapture::Side;

// "60 01 81 FB", as a frame is written in a script.
QString hexText(const std::vector<std::uint8_t>& bytes)
{
    return transport::byteText(bytes).mid(1);
}

QString secondsText(std::int64_t timeUs)
{
    return QStringLiteral("%1.%2").arg(timeUs / 1'000'000).arg(timeUs % 1'000'000, 6, 10, QLatin1Char('0'));
}

struct Exchange {
    const CaptureItem* request = nullptr;
    const CaptureItem* firstReply = nullptr;
    std::vector<std::uint8_t> reply;
    bool damaged = false;
};

} // namespace

CaptureScript captureScriptText(const linecapture::Capture& capture, const std::vector<int>& recordLines)
{
    const std::vector<CaptureItem> items = linecapture::captureItems(capture);
    std::vector<Exchange> exchanges;
    for (const CaptureItem& item : items) {
        if (!item.event && item.side == Side::A) {
            exchanges.push_back({&item, nullptr, {}, false});
            continue;
        }
        // What B says before the station's first request answers nothing of ours.
        if (exchanges.empty())
            continue;
        Exchange& exchange = exchanges.back();
        if (!item.event) {
            if (!exchange.firstReply)
                exchange.firstReply = &item;
            exchange.reply.insert(exchange.reply.end(), item.bytes.begin(), item.bytes.end());
        } else if (*item.event == RecordKind::Overrun || *item.event == RecordKind::LineError) {
            exchange.damaged = true;
        }
    }
    CaptureScript script;
    if (exchanges.empty()) {
        script.error = QStringLiteral("в записи нет ни одного кадра стороны A — воспроизводить нечего");
        return script;
    }

    QStringList lines;
    const auto add = [&](const QString& line, const CaptureItem* from) {
        lines << line;
        script.fileLines.push_back(from && from->record < recordLines.size() ? recordLines[from->record] : 0);
    };
    add(QStringLiteral("# Запись линии: кадры стороны A отправляются, ответы стороны B ожидаются"), nullptr);
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const Exchange& exchange = exchanges[i];
        add(QStringLiteral("case запрос %1 в %2 с").arg(i + 1).arg(secondsText(exchange.request->timeUs)), exchange.request);
        add(QStringLiteral("send ") + hexText(exchange.request->bytes), exchange.request);
        const CaptureItem* replyFrom = exchange.firstReply ? exchange.firstReply : exchange.request;
        if (exchange.damaged)
            add(QStringLiteral("expect ...  # ответ записан с потерей или ошибками байтов: не сравнивается"), replyFrom);
        else if (exchange.reply.empty())
            add(QStringLiteral("expect nothing"), replyFrom);
        else
            add(QStringLiteral("expect ") + hexText(exchange.reply), replyFrom);
    }
    script.text = lines.join(u'\n') + u'\n';
    return script;
}

} // namespace testscript
