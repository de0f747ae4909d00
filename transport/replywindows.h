#pragma once
// How long the line waits for a reply, and how much of it one window takes: the
// transport keeps to these, and a family's protocol names them where a reply sets the
// next window.

namespace transport {

// The reply buffer: one read per window takes at most this many bytes; more stay queued.
inline constexpr int kReplyBufferSize = 4096;

// The reply window lengths, in milliseconds.
inline constexpr int kFirstReplyWindowMs = 600;
inline constexpr int kReplyWindowMs = 500;
inline constexpr int kSlowReplyWindowMs = 2000;

} // namespace transport
