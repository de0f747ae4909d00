#include "lineformat.h"

#include <QStringList>

namespace linecapture {

namespace {

char parityLetter(commport::TParity parity)
{
    switch (parity) {
    case commport::TParity::paOdd: return 'O';
    case commport::TParity::paEven: return 'E';
    case commport::TParity::paMark: return 'M';
    case commport::TParity::paSpace: return 'S';
    case commport::TParity::paNone: break;
    }
    return 'N';
}

double stopBitsValue(commport::TStopbits stopbits)
{
    switch (stopbits) {
    case commport::TStopbits::sb15: return 1.5;
    case commport::TStopbits::sb20: return 2;
    case commport::TStopbits::sb10: break;
    }
    return 1;
}

} // namespace

LineFormat lineFormatOf(const commport::TLineSettings& settings)
{
    return {commport::BaudRateValue(settings.BaudRate), commport::DatabitsValue(settings.Databits),
            parityLetter(settings.Parity), stopBitsValue(settings.Stopbits)};
}

QString lineFormatText(const LineFormat& format)
{
    return QStringLiteral("%1 %2%3%4")
        .arg(format.baud)
        .arg(format.dataBits)
        .arg(QLatin1Char(format.parity))
        .arg(format.stopBits == 1.5 ? QStringLiteral("1.5") : QString::number(int(format.stopBits)));
}

std::optional<LineFormat> lineFormatFromText(QStringView text)
{
    const QList<QStringView> parts = text.trimmed().split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != 2 || parts[1].size() < 3)
        return std::nullopt;
    bool ok = false;
    LineFormat format;
    format.baud = parts[0].toUInt(&ok);
    if (!ok || format.baud == 0)
        return std::nullopt;
    const QStringView character = parts[1];
    format.dataBits = character.left(1).toInt(&ok);
    if (!ok || format.dataBits < 4 || format.dataBits > 8)
        return std::nullopt;
    const QChar parity = character[1];
    if (!QStringView(u"NOEMS").contains(parity))
        return std::nullopt;
    format.parity = static_cast<char>(parity.unicode());
    const QStringView stop = character.mid(2);
    if (stop == u"1")
        format.stopBits = 1;
    else if (stop == u"1.5")
        format.stopBits = 1.5;
    else if (stop == u"2")
        format.stopBits = 2;
    else
        return std::nullopt;
    return format;
}

} // namespace linecapture
