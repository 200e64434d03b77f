// Console service: the terminal behind standard output, its colours, window size, the keyboard
// and the console-control (Ctrl-C) handler.
#pragma once
#include <cstddef>
#include <cstdint>

using ConsoleHandle = void*;

struct ConsoleScreenInfo {
    int16_t Left, Top, Right, Bottom; // visible window, inclusive
    uint16_t Attributes;              // current text attribute
};

// Standard handles, fetched anew on every call. On POSIX a handle is the file descriptor plus
// one, (void*)(intptr_t)(fd + 1), so that standard input is not the null handle; the host's
// Qprintf decodes it the same way.
ConsoleHandle ConsoleStdOutput();
ConsoleHandle ConsoleStdError();

// Console mode of a handle; false when the handle is not a console.
bool ConsoleGetMode(ConsoleHandle handle, uint32_t* mode);
bool ConsoleGetScreenInfo(ConsoleHandle handle, ConsoleScreenInfo* info);
bool ConsoleSetAttribute(ConsoleHandle handle, uint16_t attribute);

// The console device itself, independent of where standard output goes. Null on failure; then
// *absent (when given) tells whether a console cannot exist here at all (POSIX without a
// terminal), so that trying again is pointless, or whether it failed and may open a moment
// later.
ConsoleHandle ConsoleOpenOutput(bool* absent = nullptr);
void ConsoleClose(ConsoleHandle handle);

// Writes text straight to the console device (not through standard output).
bool ConsoleWriteDirect(const wchar_t* text, size_t length);

// Keyboard: a key-hit test and a read without echo. Extended keys come as 0 or 0xE0
// followed by a second code on the next read; Ctrl-C reads as 3, Esc as 27.
bool ConsoleKeyHit();
int ConsoleReadKey();

// Console-control events (0 Ctrl-C, 1 Ctrl-Break, others pass on). The handler returns
// non-zero when it handled the event.
using ConsoleCtrlHandler = int (*)(uint32_t event);
bool ConsoleSetCtrlHandler(ConsoleCtrlHandler handler, bool add);
