#include "requesttexts.h"

#include "frametext.h"

namespace dispenser {

using transport::ControlRequest;
using transport::hexText6ToInt;

namespace {

std::uint8_t hexValue(const QString& text)
{
    return static_cast<std::uint8_t>(hexText6ToInt(text) & 0xFF);
}

// A request that goes through the command envelope: the header from the code's first
// digit and the hose, then the data frame when there is data.
PreparedRequest enveloped(const RequestInputs& in, const QString& data, const QString& code)
{
    PreparedRequest r;
    r.envelopeData = data;
    r.envelopeCode = code;
    r.text = QStringLiteral("60 ") + in.address + u' ' + code.left(1) + in.hose + QStringLiteral(" *");
    if (!data.isEmpty())
        r.text += QStringLiteral(" 0") + in.hose + u' ' + data;
    return r;
}

PreparedRequest control(const RequestInputs& in, ControlRequest which)
{
    const transport::ControlRequestTemplate& t = in.templates[which];
    PreparedRequest r = enveloped(in, t.data, t.code);
    r.expectCmd = hexValue(t.code);
    // The template opens with the function code, which the acknowledgement answers.
    r.expectSub = hexValue(t.data.left(2));
    return r;
}

PreparedRequest whole(const QString& text, std::uint8_t expectCmd, std::uint8_t expectSub)
{
    PreparedRequest r;
    r.text = text;
    r.expectCmd = expectCmd;
    r.expectSub = expectSub;
    return r;
}

} // namespace

std::optional<QChar> hoseFlagDigit(const QString& hose)
{
    bool number = false;
    const int n = hose.toInt(&number, 10);
    if (!number || n < 1 || n > 7)
        return std::nullopt;
    return QChar(u"9ABCDEF"[n - 1]);
}

QString volumeDigits(const QString& litri)
{
    return litri.mid(0, 6) + litri.mid(7, 2);
}

QString moneyDigits(const QString& Stoimost)
{
    return u'0' + Stoimost.mid(0, 5) + Stoimost.mid(6, 2);
}

std::optional<PreparedRequest> prepareRequest(DispenserRequest request, const RequestInputs& in)
{
    const QString& A = in.address;
    const QString& h = in.hose;
    switch (request) {
    case DispenserRequest::Status: {
        const transport::ControlRequestTemplate& t = in.templates[transport::StatusRequest];
        PreparedRequest r = enveloped(in, t.data, t.code);
        r.expectCmd = hexValue(t.code);
        return r;
    }
    case DispenserRequest::Activate:
        return control(in, transport::ActivateRequest);
    case DispenserRequest::Passivate:
        return control(in, transport::PassivateRequest);
    case DispenserRequest::Pause:
        return control(in, transport::PauseRequest);
    case DispenserRequest::Continue:
        return control(in, transport::ContinueRequest);
    case DispenserRequest::Stop:
        return control(in, transport::StopRequest);
    case DispenserRequest::ValveOn:
        return control(in, transport::ValveOnRequest);
    case DispenserRequest::ValveOff:
        return control(in, transport::ValveOffRequest);
    case DispenserRequest::DispenseVolume: {
        PreparedRequest r = enveloped(in, QStringLiteral("01 00 ") + volumeDigits(in.litri) + QStringLiteral(" *"),
                                      QStringLiteral("10"));
        r.expectCmd = 0x10;
        r.expectSub = 0x01;
        return r;
    }
    case DispenserRequest::DispenseMoney: {
        PreparedRequest r = enveloped(in, QStringLiteral("11 00 ") + moneyDigits(in.Stoimost) + QStringLiteral(" *"),
                                      QStringLiteral("10"));
        r.expectCmd = 0x10;
        r.expectSub = 0x11;
        return r;
    }
    case DispenserRequest::PriceWrite: {
        const QString roubles = in.stoimlitr.mid(0, 2);
        const QString kopecks = in.stoimlitr.mid(3, 2);
        return whole(QStringLiteral("60 ") + A + QStringLiteral(" 5") + h + QStringLiteral("* 0") + h
                         + QStringLiteral(" 00 00 ") + roubles + u' ' + kopecks + QStringLiteral(" 00 00 *"),
                     hexValue(u'5' + h), 0x00);
    }
    case DispenserRequest::PriceRead:
    case DispenserRequest::TotaliserReset: {
        const std::optional<QChar> H = hoseFlagDigit(h);
        if (!H)
            return std::nullopt;
        const QString group = request == DispenserRequest::PriceRead ? QStringLiteral("5") : QStringLiteral("7");
        return whole(QStringLiteral("60 ") + A + u' ' + group + *H + u'*', hexValue(group + *H), 0x00);
    }
    case DispenserRequest::TotaliserRead: {
        PreparedRequest r = enveloped(in, QString(), QStringLiteral("70"));
        r.expectCmd = hexValue(u'7' + h);
        return r;
    }
    case DispenserRequest::Version:
        return whole(QStringLiteral("60 ") + A + QStringLiteral(" 00 * 30"), 0x00, 0x30);
    }
    return std::nullopt;
}

QString hoseOutOfRangeLine(const QString& hose)
{
    return QStringLiteral("Рукав «%1» не из 1-7: запрос не отправлен").arg(hose);
}

} // namespace dispenser
