#include "framedecoder.h"

#include "frametext.h"

#include <algorithm>

namespace linecapture {

namespace {

constexpr std::uint8_t kRequestStart = 0x60;
constexpr std::size_t kHeaderSize = 4;

} // namespace

QString checksumMismatchText(std::uint8_t found, std::uint8_t expected)
{
    return QStringLiteral("неверная контрольная сумма: %1 вместо %2")
        .arg(transport::hexByte(found), transport::hexByte(expected));
}

QString checksumGoodText()
{
    return QStringLiteral(", CSM верна");
}

std::optional<QString> checksumProblem(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 2)
        return QStringLiteral("кадр короче двух байт: контрольной суммы нет");
    const std::uint8_t expected = transport::frameChecksum(frame.first(frame.size() - 1));
    if (expected == frame.back())
        return std::nullopt;
    return checksumMismatchText(frame.back(), expected);
}

std::optional<QString> headerProblem(std::span<const std::uint8_t> frame)
{
    if (frame.empty() || frame[0] != kRequestStart)
        return QStringLiteral("неизвестный кадр: запрос начинается с 60");
    if (frame.size() < kHeaderSize)
        return QStringLiteral("неизвестный кадр: короче заголовка запроса (4 байта)");
    if (const std::optional<QString> problem = checksumProblem(frame.first(kHeaderSize)))
        return QStringLiteral("заголовок: ") + *problem;
    return std::nullopt;
}

bool sameFrameBytes(const QString& frameText, std::span<const std::uint8_t> frame)
{
    const std::optional<QByteArray> bytes = transport::lineBytesOfText(frameText);
    return bytes && std::ranges::equal(*bytes, frame, [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
}

} // namespace linecapture
