#pragma once
// What a frame on a line means, in the protocol of one device family: the seam between
// whatever cuts a line into frames (the monitor, live or from a capture) and the
// families, which alone know their protocols. A family's decoder names a request from A
// by rebuilding it with the family's own request texts and comparing bytes, and decodes
// a reply from B with the family's own reply decoding, given the request A sent last:
// nobody keeps a second copy of a protocol. A frame a protocol cannot place is described
// by the reason (bad checksum, unknown code), never dropped.

#include "capture.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace linecapture {

class FrameDecoder {
public:
    virtual ~FrameDecoder() = default;

    // The text shown after the frame's bytes; empty when there is nothing to say. Frames
    // come in the order they started on the line, so a reply follows its request.
    QString describe(Side side, std::span<const std::uint8_t> frame)
    {
        return side == Side::A ? describeRequest(frame) : describeReply(frame);
    }

protected:
    // A frame from A, the side that asks.
    virtual QString describeRequest(std::span<const std::uint8_t> frame) = 0;
    // A frame from B, the side that answers.
    virtual QString describeReply(std::span<const std::uint8_t> frame) = 0;
};

// A fresh decoder of one protocol: each keeps what the requests it saw announced.
using FrameDecoderFactory = std::unique_ptr<FrameDecoder> (*)();

// Texts the decoders share.
// "неверная контрольная сумма: FA вместо FB"
QString checksumMismatchText(std::uint8_t found, std::uint8_t expected);
// ", CSM верна": the end of a reply whose checksum matched.
QString checksumGoodText();
// A frame that ends in its checksum: nothing when the checksum matches, else the reason.
std::optional<QString> checksumProblem(std::span<const std::uint8_t> frame);
// The header every addressed request starts with (60, address, code, checksum): nothing
// when the frame starts with a good one, else the reason it cannot be a request.
std::optional<QString> headerProblem(std::span<const std::uint8_t> frame);
// Frame text rebuilt by a family's own request texts, compared with a frame heard.
bool sameFrameBytes(const QString& frameText, std::span<const std::uint8_t> frame);

} // namespace linecapture
