#include "versiontext.h"

#include "codepage.h"

#include <QByteArray>

namespace dispenser {

namespace {

QString withoutLeadingBlanks(const QString& line)
{
    qsizetype start = 0;
    while (start < line.size() && line.at(start).unicode() <= u' ')
        ++start;
    return line.mid(start);
}

} // namespace

QStringList versionTextLines(std::span<const std::uint8_t> text)
{
    // The console has always shown the frame as plain ASCII strokes; the other
    // box-drawing characters keep their own look through the codec.
    QByteArray bytes(reinterpret_cast<const char*>(text.data()), static_cast<qsizetype>(text.size()));
    for (char& b : bytes) {
        switch (static_cast<std::uint8_t>(b)) {
        case 0xBA:
            b = '|';
            break;
        case 0xC8:
        case 0xC9:
        case 0xCD:
            b = '-';
            break;
        default:
            break;
        }
    }

    const QString decoded = transport::decoded(transport::CodePage::Cp866, bytes);

    QStringList lines;
    QString line;
    for (QChar c : decoded) {
        if (c == u'\r')
            continue;
        if (c == u'\n') {
            lines << withoutLeadingBlanks(line);
            line.clear();
            continue;
        }
        line += c;
    }
    return lines;
}

} // namespace dispenser
