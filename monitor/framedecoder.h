#pragma once
// What a frame means, in the protocol the operator chose. The decoders name a request
// from A by rebuilding it with the family's own request texts and comparing bytes, and
// decode a reply from B with the family's own reply decoding, given the request A sent
// last: the monitor never keeps a second copy of a protocol. A frame a protocol cannot
// place is described by the reason (bad checksum, unknown code), never dropped.

#include "capturenames.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace monitor {

class FrameDecoder {
public:
    virtual ~FrameDecoder() = default;
    // The text shown after the frame's bytes; empty when there is nothing to say. Frames
    // come in the order they started on the line, so a reply follows its request.
    virtual QString describe(Side side, std::span<const std::uint8_t> frame) = 0;
};

std::unique_ptr<FrameDecoder> makeFrameDecoder(Protocol protocol);

std::unique_ptr<FrameDecoder> makeDispenserDecoder();
std::unique_ptr<FrameDecoder> makeMemoryDecoder();
std::unique_ptr<FrameDecoder> makeMeterDecoder();

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

} // namespace monitor
