#pragma once
// What every fuzz target shares: a broken invariant stops the run with a message
// (libFuzzer keeps the input that caused it), and the ways the fuzzer's bytes become
// the text an operator types.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "invariant broken: %s\n  %s\n", what, detail.toUtf8().constData());
    std::abort();
}

inline void check(bool holds, const char* what, const QString& detail = QString())
{
    if (!holds)
        fail(what, detail);
}

// Typed text arrives as characters, not bytes: UTF-8 reaches every character a
// keyboard or a paste can give while keeping the seed files readable.
inline QString typedText(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

inline QString typedText(const std::string& bytes)
{
    return QString::fromStdString(bytes);
}

// "61 2A FF" for a failure message.
inline QString hexDump(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

} // namespace fuzz
