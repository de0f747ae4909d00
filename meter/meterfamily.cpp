#include "meterfamily.h"

#include "controlleraddress.h"
#include "logline.h"
#include "logpane.h"
#include "metertexts.h"
#include "transport.h"

#include <QComboBox>

namespace meter {

MeterFamily::MeterFamily(const ui::FamilyContext& context)
    : QObject(context.clientArea)
    , context_(context)
    , panel_(context.clientArea)
    , Timer2_(new QTimer(this))
{
    setObjectName(QStringLiteral("MeterFamily"));
    Timer2_->setObjectName(QStringLiteral("Timer2"));
    Timer2_->setInterval(300);
}

void MeterFamily::hidePanels()
{
    panel_.ERK2Panel->hide();
}

void MeterFamily::showPanels()
{
    panel_.ERK2Panel->show();
}

void MeterFamily::layout(const ui::WindowFrame& frame)
{
    // The meter panel keeps its size and place whatever the window's size.
    Q_UNUSED(frame);
}

void MeterFamily::portOpened()
{
    panel_.ERK2Panel->setEnabled(true);
}

void MeterFamily::portClosed()
{
    Timer2_->stop();
    panel_.ERK2Panel->setEnabled(false);
}

void MeterFamily::frameSent(const QString& line, bool active)
{
    // The meter log shows the requests' frame text and the results, not raw frames.
    Q_UNUSED(line);
    Q_UNUSED(active);
}

void MeterFamily::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    if (reply.empty())
        panel_.Memo_log->appendLine(transport::timeOutLine());
    else if (reply.size() >= 2 && !transport::replyChecksumMatches(reply))
        panel_.Memo_log->appendLine(transport::checksumErrorText(reply.size()));
}

void MeterFamily::lineNotice(const QString& line)
{
    panel_.Memo_log->appendLine(line);
}

void MeterFamily::readQuantity(const QString& code)
{
    if (context_.line.busy())
        return;
    const QString typed = context_.kontroller->currentText();
    const std::optional<QString> address = transport::frameAddressText(typed);
    if (!address) {
        panel_.Memo_log->appendLine(transport::badAddressLine(typed));
        return;
    }
    const QString text = readRequestText(*address, code);
    panel_.Memo_log->appendLine(text);
    context_.line.sendComposedRequest(text);
}

} // namespace meter
