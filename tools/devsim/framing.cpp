#include "framing.h"

#include "frametext.h"

#include <span>

namespace devsim {

namespace {
std::uint8_t checksumOf(QByteArrayView bytes)
{
    return transport::frameChecksum(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), std::size_t(bytes.size())));
}
} // namespace

bool checksumOk(QByteArrayView frame)
{
    if (frame.size() < 2)
        return false;
    return checksumOf(frame.first(frame.size() - 1)) == byteAt(frame, frame.size() - 1);
}

QByteArray closeFrame(QByteArray bytes)
{
    bytes.append(char(checksumOf(bytes)));
    return bytes;
}

} // namespace devsim
