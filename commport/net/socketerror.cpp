#include "socketerror.h"

#include "lineprotocol.h"

#include <cerrno>
#include <cstring>

namespace commport::net {

backend::SystemError SocketError(int err)
{
    CommErrorKind kind = CommErrorKind::Other;
    switch (err) {
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        kind = CommErrorKind::Gone;
        break;
    case ECONNREFUSED:
        kind = CommErrorKind::NotFound;
        break;
    case EACCES:
    case EPERM:
        kind = CommErrorKind::AccessDenied;
        break;
    default:
        break;
    }
    return backend::SystemError{kind, err, std::strerror(err)};
}

std::string PrintableText(const std::string& bytes, std::size_t limit)
{
    std::string text;
    bool space = false;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            if (space && !text.empty())
                text.push_back(' ');
            space = false;
            text.push_back(c);
        } else {
            space = true;
        }
        if (text.size() >= limit)
            break;
    }
    return text;
}

backend::SystemError ClosedByPeer(const std::string& said)
{
    std::string text = "the server closed the connection";
    const std::string printable = PrintableText(said);
    if (!printable.empty())
        text += ": " + printable;
    return backend::SystemError{CommErrorKind::Gone, ECONNRESET, text};
}

backend::SystemError AnswersNotRead()
{
    return backend::SystemError{CommErrorKind::Misbehaved, EPROTO,
                                "the server asks faster than it reads the answers: more than "
                                    + std::to_string(kOutgoingLimit) + " bytes of them wait to go out"};
}

} // namespace commport::net
