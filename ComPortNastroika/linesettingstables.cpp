#include "linesettingstables.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace ComPortNastroika {

using namespace commport;

namespace {

constexpr std::array kSpeeds{
    TBaudRate::cbr110,   TBaudRate::cbr300,   TBaudRate::cbr600,   TBaudRate::cbr1200,
    TBaudRate::cbr2400,  TBaudRate::cbr4800,  TBaudRate::cbr9600,  TBaudRate::cbr14400,
    TBaudRate::cbr19200, TBaudRate::cbr38400, TBaudRate::cbr57600, TBaudRate::cbr115200,
};
constexpr std::array kDataBits{TDatabits::da4, TDatabits::da5, TDatabits::da6, TDatabits::da7, TDatabits::da8};
// Alphabetical, as the list shows them, not in the order of the enumeration.
constexpr std::array kParities{TParity::paEven, TParity::paMark, TParity::paNone, TParity::paOdd, TParity::paSpace};
constexpr std::array kStopBits{TStopbits::sb10, TStopbits::sb15, TStopbits::sb20};

template <typename Table>
std::optional<typename Table::value_type> valueAt(const Table& table, int position)
{
    if (position < 0 || position >= static_cast<int>(table.size()))
        return std::nullopt;
    return table[static_cast<std::size_t>(position)];
}

template <typename Table, typename Value>
int indexOf(const Table& table, Value value)
{
    const auto found = std::find(table.begin(), table.end(), value);
    return found == table.end() ? -1 : static_cast<int>(std::distance(table.begin(), found));
}

} // namespace

QStringList speedItems()
{
    QStringList items;
    for (TBaudRate rate : kSpeeds)
        items << QString::number(BaudRateValue(rate));
    return items;
}

QStringList dataBitsItems()
{
    return {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
}

QStringList parityItems()
{
    return {QStringLiteral("Even"), QStringLiteral("Mark"), QStringLiteral("None"), QStringLiteral("Odd"),
            QStringLiteral("Space")};
}

QStringList stopBitsItems()
{
    return {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
}

std::optional<TBaudRate> speedAt(int position) { return valueAt(kSpeeds, position); }
std::optional<TDatabits> dataBitsAt(int position) { return valueAt(kDataBits, position); }
std::optional<TParity> parityAt(int position) { return valueAt(kParities, position); }
std::optional<TStopbits> stopBitsAt(int position) { return valueAt(kStopBits, position); }

std::optional<TBaudRate> speedFromText(const QString& text)
{
    bool number = false;
    const qulonglong speed = text.trimmed().toULongLong(&number, 10);
    if (!number)
        return std::nullopt;
    // Every rate the component knows, not only the listed ones: 56000 is a rate too.
    for (int value = 0; value <= static_cast<int>(TBaudRate::cbr256000); ++value) {
        const auto rate = static_cast<TBaudRate>(value);
        if (BaudRateValue(rate) == speed)
            return rate;
    }
    return std::nullopt;
}

std::optional<TDatabits> dataBitsFromText(const QString& text)
{
    return valueAt(kDataBits, dataBitsItems().indexOf(text.trimmed()));
}

std::optional<TParity> parityFromText(const QString& text)
{
    const QStringList items = parityItems();
    for (int position = 0; position < items.size(); ++position)
        if (items[position].compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return valueAt(kParities, position);
    return std::nullopt;
}

std::optional<TStopbits> stopBitsFromText(const QString& text)
{
    QString t = text.trimmed();
    t.replace(u',', u'.');
    return valueAt(kStopBits, stopBitsItems().indexOf(t));
}

int positionOf(TBaudRate rate) { return indexOf(kSpeeds, rate); }
int positionOf(TParity parity) { return indexOf(kParities, parity); }
int positionOf(TStopbits stopBits) { return indexOf(kStopBits, stopBits); }

} // namespace ComPortNastroika
