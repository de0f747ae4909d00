#include "framecutter.h"

#include <cmath>

namespace linecapture {

void FrameCutter::setTiming(double characterUs, double gapCharacters)
{
    characterUs_ = characterUs;
    gapUs_ = std::llround(characterUs * gapCharacters);
}

void FrameCutter::feed(std::int64_t timeUs, std::span<const std::uint8_t> bytes, std::size_t record,
                       std::vector<CutFrame>& done)
{
    if (bytes.empty())
        return;
    if (open_) {
        const std::int64_t silence = timeUs - lastUs_;
        // When the chunk's first byte began, had it come at the line's speed.
        const auto transfer = std::llround(characterUs_ * double(bytes.size()));
        if (silence >= gapUs_ + kHoldUs || silence - transfer >= gapUs_)
            close(done);
    }
    while (!bytes.empty()) {
        if (!open_)
            open_ = CutFrame{side_, timeUs, record, {}};
        const std::size_t room = kMaxFrameBytes - open_->bytes.size();
        const std::size_t take = std::min(room, bytes.size());
        open_->bytes.insert(open_->bytes.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(take));
        bytes = bytes.subspan(take);
        if (open_->bytes.size() == kMaxFrameBytes)
            close(done);
    }
    lastUs_ = timeUs;
}

void FrameCutter::close(std::vector<CutFrame>& done)
{
    if (!open_)
        return;
    done.push_back(std::move(*open_));
    open_.reset();
}

void FrameCutter::closeIfQuiet(std::int64_t nowUs, std::vector<CutFrame>& done)
{
    if (open_ && nowUs >= *quietAt())
        close(done);
}

std::optional<std::int64_t> FrameCutter::openSince() const
{
    return open_ ? std::optional(open_->startUs) : std::nullopt;
}

std::optional<std::int64_t> FrameCutter::quietAt() const
{
    return open_ ? std::optional(lastUs_ + gapUs_ + kHoldUs) : std::nullopt;
}

} // namespace linecapture
