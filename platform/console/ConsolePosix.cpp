// The console on a POSIX terminal. Handles are file descriptors plus one. The console is the
// terminal standard output is, else the controlling terminal (shared/ConsoleTerminalPosix.h);
// colours are the process's one colour state (shared/ConsoleColor.h), keys come from the
// keyboard job (ConsoleKeysPosix.cpp), console-control events from the signals job
// (ConsoleSignalsPosix.cpp).
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/console/Console.h"
#include "platform/console/ConsoleKeysPosix.h"
#include "platform/console/shared/ConsoleColor.h"
#include "platform/console/shared/ConsoleTerminalPosix.h"
#include "platform/text/Text.h"

namespace {

int HandleFd(ConsoleHandle handle) {
    return handle == nullptr ? -1 : static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}
ConsoleHandle FdHandle(int fd) {
    return reinterpret_cast<ConsoleHandle>(intptr_t{fd} + 1);
}

bool IsConsoleTerminal(int fd) {
    int console = ConsoleTerminalFd();
    struct stat a {
    }, b{};
    return console >= 0 && fstat(fd, &a) == 0 && fstat(console, &b) == 0 && a.st_rdev == b.st_rdev;
}

} // namespace

ConsoleHandle ConsoleStdOutput() {
    return FdHandle(STDOUT_FILENO);
}
ConsoleHandle ConsoleStdError() {
    return FdHandle(STDERR_FILENO);
}

bool ConsoleGetMode(ConsoleHandle handle, uint32_t* mode) {
    int fd = HandleFd(handle);
    if (fd < 0 || isatty(fd) == 0) return false;
    if (mode != nullptr) *mode = 3; // processed and wrapped output, as a console reports
    return true;
}

bool ConsoleGetScreenInfo(ConsoleHandle handle, ConsoleScreenInfo* info) {
    int fd = HandleFd(handle);
    winsize size{};
    if (fd < 0 || info == nullptr || ioctl(fd, TIOCGWINSZ, &size) != 0) return false;
    info->Left = 0;
    info->Top = 0;
    info->Right = static_cast<int16_t>(size.ws_col - 1);
    info->Bottom = static_cast<int16_t>(size.ws_row - 1);
    // The console terminal, when its keys cannot be read, shows a window of no rows: no pager
    // fits, so output is never held for a key that cannot come.
    if (IsConsoleTerminal(fd) && ConsoleKeyboardFd() < 0) info->Bottom = -1;
    info->Attributes = ConsoleColorInForce();
    return true;
}

bool ConsoleSetAttribute(ConsoleHandle handle, uint16_t attribute) {
    int fd = HandleFd(handle);
    if (fd < 0 || isatty(fd) == 0) return false;
    ConsoleLeaveKeyMode();
    return ConsoleColorApply(attribute);
}

ConsoleHandle ConsoleOpenOutput(bool* absent) {
    int terminal = ConsoleTerminalFd();
    // Without a terminal there is no console to wait for.
    if (absent != nullptr) *absent = terminal < 0;
    int fd = terminal < 0 ? -1 : fcntl(terminal, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    return fd < 0 ? nullptr : FdHandle(fd);
}

void ConsoleClose(ConsoleHandle handle) {
    int fd = HandleFd(handle);
    if (fd > STDERR_FILENO) close(fd);
}

bool ConsoleWriteDirect(const wchar_t* text, size_t length) {
    int terminal = ConsoleTerminalFd();
    if (text == nullptr || terminal < 0) return false;
    ConsoleLeaveKeyMode();
    std::fflush(stdout);
    // Converted piece by piece: nothing is allocated on the module's output path.
    char bytes[1024];
    size_t used = 0;
    bool ok = true;
    for (size_t i = 0; i < length; ++i) {
        if (used + 4 > sizeof bytes) {
            ok = ConsoleWriteAll(terminal, bytes, used) && ok;
            used = 0;
        }
        used += WideCharToUtf8(text[i], bytes + used);
    }
    return ConsoleWriteAll(terminal, bytes, used) && ok;
}
