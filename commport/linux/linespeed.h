#pragma once
// Line speeds outside the fixed POSIX set (14400, 56000, 128000, 256000 bit/s) go
// through Linux's custom-speed interface. Its header clashes with <termios.h>, so this
// pair of calls lives in a translation unit of its own and speaks plain integers.

namespace commport::posix {

// Sets input and output speed of the open tty `fd` to `speed` bit/s exactly.
// Returns 0, or the errno of the refusal.
int SetCustomLineSpeed(int fd, unsigned speed);

// The output speed in bit/s that the tty reports now (any speed, standard or not).
// Returns 0, or the errno of the failure.
int ReadLineSpeed(int fd, unsigned& speed);

} // namespace commport::posix
