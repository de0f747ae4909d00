#pragma once
// A line monitor's capture of a dispenser controller polled for its status, as the
// monitor writes it: a request from side A and the reply from side B every 100 ms, so a
// capture of any size can be made for the benchmarks that read one back.

#include <QByteArray>

#include <cstdint>
#include <cstdio>

namespace bench {

// A capture of about `bytes` bytes; `exchanges` gets how many requests it holds.
inline QByteArray pollingCaptureText(std::int64_t bytes, std::int64_t* exchanges = nullptr)
{
    QByteArray text = "QLDIXw capture 1\nstart 2025-05-01T12:03:04.123456+03:00\nprotocol dix\ngap 3.5\n"
                      "0.000000 A opened COM7\n0.000000 A settings 4800 8N2\n"
                      "0.000000 B opened COM8\n0.000000 B settings 4800 8N2\n";
    text.reserve(bytes + 128);
    std::int64_t count = 0;
    for (std::int64_t us = 100'000; text.size() < bytes; us += 100'000, ++count) {
        char line[128];
        const int n = std::snprintf(line, sizeof line,
                                    "%lld.%06lld A 60 01 81 FB\n%lld.%06lld B 01 81 00 12 34 56 07 C8\n",
                                    static_cast<long long>(us / 1'000'000), static_cast<long long>(us % 1'000'000),
                                    static_cast<long long>((us + 30'000) / 1'000'000),
                                    static_cast<long long>((us + 30'000) % 1'000'000));
        text.append(line, n);
    }
    if (exchanges)
        *exchanges = count;
    return text;
}

} // namespace bench
