#pragma once
// A capture of a line between two other parties, as the line monitor hears it: every
// chunk of bytes each tap received, with the time it came, and what happened to the taps
// in between (a port opened or lost, its line settings, bytes the driver lost to an
// overrun). Kept compact, since a capture runs for hours: the bytes of all chunks share
// one buffer and a record costs 24 bytes besides. A room of its own below the windows,
// so that whatever replays a capture (the monitor, the test scripts) reads it alike.

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace linecapture {

// The two taps: A hears the side that asks (the station's system), B the side that
// answers (the device).
enum class Side : std::uint8_t { A, B };
inline constexpr int kSideCount = 2;
inline int sideIndex(Side side) { return static_cast<int>(side); }

enum class RecordKind : std::uint8_t {
    Bytes,     // a chunk as one read took it
    Opened,    // the tap's port opened; text: its name
    Closed,    // the tap's port closed, by the operator or because its device went; text: why
    Settings,  // the line settings the tap listens with from now on; text: "4800 8N2"
    Overrun,   // the driver lost bytes before the next chunk (its input overran)
    LineError, // the driver saw framing, parity or break errors; text: which
    Note,      // a line about the port (waiting for a device, reopened); text: the line
};

// The protocol a capture is decoded as.
enum class Protocol : std::uint8_t { Dispenser, Memory, Meter, None };

struct CaptureRecord {
    std::int64_t timeUs = 0; // microseconds since the capture's start, monotonic
    Side side = Side::A;
    RecordKind kind = RecordKind::Bytes;
    std::span<const std::uint8_t> bytes; // Bytes only; valid while the capture is unchanged
    QString text;
    std::size_t index = 0; // its place in the capture
};

class Capture {
public:
    // When time 0 was, on the wall clock, with the offset from UTC the times are shown
    // in: a capture shows the local times of the place it was made, wherever it is read.
    std::int64_t startUtcUs = 0;
    int utcOffsetSeconds = 0;
    Protocol protocol = Protocol::Dispenser;
    // Silence that ends a frame, in character times of each side's line speed.
    double gapCharacters = 3.5;

    void appendBytes(std::int64_t timeUs, Side side, std::span<const std::uint8_t> bytes);
    void appendEvent(std::int64_t timeUs, Side side, RecordKind kind, const QString& text = QString());
    // Forgets the records; the header stays.
    void clearRecords();

    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    CaptureRecord record(std::size_t index) const;
    // Bytes the records hold, and what the capture costs in memory.
    std::size_t byteCount() const { return bytes_.size(); }
    std::size_t memoryBytes() const;

private:
    struct Stored {
        std::int64_t timeUs;
        std::uint64_t first; // Bytes: offset into bytes_; otherwise: index into texts_
        std::uint32_t count; // Bytes: how many; otherwise 0
        Side side;
        RecordKind kind;
    };
    std::vector<Stored> records_;
    std::vector<std::uint8_t> bytes_;
    std::vector<QString> texts_;
};

} // namespace linecapture
