// Which terminal is the console: the terminal that standard output is, or, when standard
// output is not a terminal, the controlling terminal. Shared by host and module
// (libcorvaneconsole.so), like the colour state that belongs to that terminal.
#pragma once
#include <cstddef>

// The descriptor to write the console's text and colours to; -1 when there is no terminal.
int ConsoleTerminalFd();

// A descriptor of the same terminal that can be read (standard output itself when it is open
// for reading, else the terminal's device opened once for reading); -1 when the terminal's
// keys cannot be read.
int ConsoleKeyboardFd();

// Writes all bytes to fd, retrying short and interrupted writes. Safe in a signal handler.
bool ConsoleWriteAll(int fd, const char* data, size_t size);
