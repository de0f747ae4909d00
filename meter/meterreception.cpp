#include "meterreception.h"

#include "replytext.h"

#include <QComboBox>

namespace meter {

using namespace transport;

MeterReception::MeterReception(QComboBox* kontroller, QPlainTextEdit* meterLog)
    : kontroller_(kontroller)
    , meterLog_(meterLog)
{
}

std::optional<QString> MeterReception::composeDataRequest(const QString& data, const QString& code)
{
    Q_UNUSED(data);
    // The address request goes to the broadcast address F0: the meter's own address
    // is what it asks for.
    const QString text = code == QStringLiteral("45") ? QStringLiteral("60 F0 45*")
                                                      : QStringLiteral("60 ") + kontroller_->currentText() + code + u'*';
    appendLine(meterLog_, text);
    return text;
}

void MeterReception::replyTimedOut()
{
    appendLine(meterLog_, QStringLiteral("TimeOut"));
}

void MeterReception::replyReceived(std::span<const std::uint8_t> reply)
{
    if (reply.size() >= 2 && !replyChecksumMatches(reply))
        appendLine(meterLog_, checksumErrorText(reply.size()));
}

} // namespace meter
