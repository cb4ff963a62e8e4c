// Line speeds without a B constant go through the kernel's termios2 interface,
// which cannot be included beside <termios.h>; hence a file of its own.
#pragma once

// Sets input and output speed of the terminal to `rate` bits per second.
// Returns 0, or -1 with errno set.
int SetArbitraryBaudRate(int fd, unsigned rate);
