#include "requesttexts.h"

#include "controlleraddress.h"
#include "frametext.h"
#include "moneyfields.h"

#include <QStringList>

namespace dispenser {

using transport::hexText6ToInt;

namespace {

std::uint8_t hexValue(const QString& text)
{
    return static_cast<std::uint8_t>(hexText6ToInt(text) & 0xFF);
}

// The digit a command code puts in the high half of the header's third byte.
QString envelopeDigit(const QString& code)
{
    static const QStringList codes = {
        QStringLiteral("00"), QStringLiteral("10"), QStringLiteral("30"), QStringLiteral("40"),
        QStringLiteral("50"), QStringLiteral("60"), QStringLiteral("70"), QStringLiteral("80"),
        QStringLiteral("90"), QStringLiteral("A0"), QStringLiteral("B0"), QStringLiteral("C0"),
        QStringLiteral("F0"),
    };
    if (codes.contains(code))
        return code.left(1);
    // The Cyrillic capital А sits on the same key as the Latin one.
    if (code == QStringLiteral("А0"))
        return QStringLiteral("A");
    return QString();
}

PreparedRequest enveloped(const RequestInputs& in, const QString& address, const QString& data, const QString& code)
{
    PreparedRequest r;
    r.text = commandEnvelope(code, address, in.hose, !data.isEmpty()) + data;
    return r;
}

PreparedRequest control(const RequestInputs& in, const QString& address, ControlRequest which)
{
    const ControlRequestTemplate& t = in.templates[which];
    PreparedRequest r = enveloped(in, address, t.data, t.code);
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

PreparedRequest refused(const QString& line)
{
    PreparedRequest r;
    r.refusal = line;
    return r;
}

// The entry field a request cuts its digits from, when it has one.
struct FieldUse {
    MoneyField field;
    const QString& text;
    const char* caption;
};

std::optional<FieldUse> fieldOf(DispenserRequest request, const RequestInputs& in)
{
    switch (request) {
    case DispenserRequest::DispenseVolume:
        return FieldUse{MoneyField::Volume, in.litri, "Литры"};
    case DispenserRequest::DispenseMoney:
        return FieldUse{MoneyField::Money, in.Stoimost, "Сумма"};
    case DispenserRequest::PriceWrite:
        return FieldUse{MoneyField::PricePerLitre, in.stoimlitr, "Стоимость 1 литра"};
    default:
        return std::nullopt;
    }
}

} // namespace

QString commandEnvelope(const QString& code, const QString& address, const QString& hose, bool dataPresent)
{
    const QString digit = envelopeDigit(code);
    if (digit.isEmpty())
        return QString();
    QString text = QStringLiteral("60 ") + address + u' ' + digit + hose + QStringLiteral(" *");
    if (dataPresent)
        text += QStringLiteral(" 0") + hose + u' ';
    return text;
}

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

PreparedRequest prepareRequest(DispenserRequest request, const RequestInputs& in)
{
    const std::optional<QString> address = transport::frameAddressText(in.address);
    if (!address)
        return refused(transport::badAddressLine(in.address));
    // The fields keep their shape while typed; text that reached them another way is
    // checked here, so digits are never cut from the wrong places.
    if (const std::optional<FieldUse> use = fieldOf(request, in); use && !fieldTextInFormat(use->field, use->text))
        return refused(QStringLiteral("Поле «%1» не в формате %2: запрос не отправлен")
                           .arg(QString::fromUtf8(use->caption), fieldResetText(use->field)));

    // Most requests copy the hose into the frames as one hex digit: an emptied box would
    // shift every later digit by half a byte (a price of 90,00 went out as 09,00), and
    // any other character would silently go out as hose 0. The version request has no
    // hose; the price read and the totaliser reset check theirs as a number.
    const bool copiesHose = request != DispenserRequest::Version && request != DispenserRequest::PriceRead
        && request != DispenserRequest::TotaliserReset;
    if (copiesHose && (in.hose.size() != 1 || !transport::hexDigitValue(in.hose.front())))
        return refused(hoseNotDigitLine(in.hose));

    const QString& A = *address;
    const QString& h = in.hose;
    switch (request) {
    case DispenserRequest::Status: {
        const ControlRequestTemplate& t = in.templates[StatusRequest];
        PreparedRequest r = enveloped(in, A, t.data, t.code);
        r.expectCmd = hexValue(t.code);
        return r;
    }
    case DispenserRequest::Activate:
        return control(in, A, ActivateRequest);
    case DispenserRequest::Passivate:
        return control(in, A, PassivateRequest);
    case DispenserRequest::Pause:
        return control(in, A, PauseRequest);
    case DispenserRequest::Continue:
        return control(in, A, ContinueRequest);
    case DispenserRequest::Stop:
        return control(in, A, StopRequest);
    case DispenserRequest::ValveOn:
        return control(in, A, ValveOnRequest);
    case DispenserRequest::ValveOff:
        return control(in, A, ValveOffRequest);
    case DispenserRequest::DispenseVolume: {
        PreparedRequest r = enveloped(in, A, QStringLiteral("01 00 ") + volumeDigits(in.litri) + QStringLiteral(" *"),
                                      QStringLiteral("10"));
        r.expectCmd = 0x10;
        r.expectSub = 0x01;
        return r;
    }
    case DispenserRequest::DispenseMoney: {
        PreparedRequest r = enveloped(in, A, QStringLiteral("11 00 ") + moneyDigits(in.Stoimost) + QStringLiteral(" *"),
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
            return refused(hoseOutOfRangeLine(h));
        const QString group = request == DispenserRequest::PriceRead ? QStringLiteral("5") : QStringLiteral("7");
        return whole(QStringLiteral("60 ") + A + u' ' + group + *H + u'*', hexValue(group + *H), 0x00);
    }
    case DispenserRequest::TotaliserRead: {
        PreparedRequest r = enveloped(in, A, QString(), QStringLiteral("70"));
        r.expectCmd = hexValue(u'7' + h);
        return r;
    }
    case DispenserRequest::Version:
        return whole(QStringLiteral("60 ") + A + QStringLiteral(" 00 * 30"), 0x00, 0x30);
    }
    return refused(QString());
}

QString hoseNotDigitLine(const QString& hose)
{
    return QStringLiteral("Рукав «%1» — не одна шестнадцатеричная цифра: запрос не отправлен").arg(hose);
}

QString hoseOutOfRangeLine(const QString& hose)
{
    return QStringLiteral("Рукав «%1» не из 1-7: запрос не отправлен").arg(hose);
}

} // namespace dispenser
