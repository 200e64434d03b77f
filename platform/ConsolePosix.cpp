// The console on a POSIX terminal. Handles are file descriptors plus one. Colour attributes
// become ANSI SGR sequences, direct writes and keys use the controlling terminal (/dev/tty),
// so they reach the user even when standard output is redirected, and console-control events
// are SIGINT (Ctrl-C) and SIGQUIT (Ctrl-Break).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/Console.h"
#include "platform/Text.h"

namespace {
constexpr uint16_t DefaultAttribute = 0x07;
constexpr int EscapeWaitMs = 50; // a lone Esc is one with no sequence byte after this long

int HandleFd(ConsoleHandle handle) {
    return handle == nullptr ? -1 : static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}
ConsoleHandle FdHandle(int fd) {
    return reinterpret_cast<ConsoleHandle>(intptr_t{fd} + 1);
}

// The controlling terminal, opened once and kept: attribute sequences, direct writes and keys.
int TerminalFd() {
    static int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// ---- Key mode: non-canonical, no echo, no signals from the keyboard ----
// Entered by the key-hit test and kept through the key wait, so that keys typed between polls
// are neither echoed nor held back for a line end. Left again after a key was read, before any
// console output (the prompt is erased right after a timed-out or broken wait), at exit and
// when a Ctrl-C or Ctrl-Break is passed on to the previous handler.
termios SavedMode;
volatile sig_atomic_t KeyModeActive = 0;

void LeaveKeyMode() {
    if (KeyModeActive == 0) return;
    int fd = TerminalFd();
    if (fd >= 0) tcsetattr(fd, TCSANOW, &SavedMode);
    KeyModeActive = 0;
}

std::atomic<uint16_t> CurrentAttribute{DefaultAttribute};

void AtExit() {
    LeaveKeyMode();
    int fd = TerminalFd();
    if (fd >= 0 && CurrentAttribute.load() != DefaultAttribute) WriteAll(fd, "\x1b[0m", 4);
}

// Leaves the terminal as it was found when the process (or the module) goes away.
void RegisterExitHook() {
    static bool registered = (std::atexit(AtExit) == 0);
    (void)registered;
}

bool EnterKeyMode() {
    int fd = TerminalFd();
    if (fd < 0) return false;
    if (KeyModeActive != 0) return true;
    RegisterExitHook();
    termios mode;
    if (tcgetattr(fd, &mode) != 0) return false;
    SavedMode = mode;
    mode.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
    mode.c_iflag &= ~tcflag_t(ICRNL | INLCR | IXON); // Enter reads as 13, Ctrl-S as a key
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    KeyModeActive = 1; // before the change, so a signal in between still restores
    if (tcsetattr(fd, TCSANOW, &mode) != 0) {
        KeyModeActive = 0;
        return false;
    }
    return true;
}

// ---- Key decoding ----
int PendingKey = -1; // the second code of an extended key, returned by the next read

// One byte from the terminal, waiting at most timeoutMs (-1: without limit). -1 when none.
int ReadByte(int timeoutMs) {
    int fd = TerminalFd();
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        int ready = poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return -1;
        unsigned char byte;
        ssize_t n = read(fd, &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        return n == 1 ? byte : -1;
    }
}

// The second scan code of an escape sequence's key, 0 for one not known.
int ScanCodeOfSequence(int introducer, std::string_view body, char final) {
    if (introducer == 'O' || body.empty() || body.find(';') == 0 ||
        (body.size() >= 2 && body[0] == '1' && body[1] == ';')) {
        switch (final) { // cursor keys, also with modifiers (ESC [ 1 ; 5 A)
        case 'A':
            return 72;
        case 'B':
            return 80;
        case 'C':
            return 77;
        case 'D':
            return 75;
        case 'H':
            return 71;
        case 'F':
            return 79;
        case 'P':
            return 59; // F1 to F4 (ESC O P)
        case 'Q':
            return 60;
        case 'R':
            return 61;
        case 'S':
            return 62;
        default:
            break;
        }
    }
    if (body == "[" && final >= 'A' && final <= 'E') // Linux console F1-F5
        return 59 + (final - 'A');
    if (final != '~') return 0;
    int number = 0;
    for (char c : body) {
        if (c == ';') break;
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    switch (number) {
    case 1:
    case 7:
        return 71; // Home
    case 4:
    case 8:
        return 79; // End
    case 2:
        return 82; // Insert
    case 3:
        return 83; // Delete
    case 5:
        return 73; // PgUp
    case 6:
        return 81; // PgDn
    case 11:
        return 59;
    case 12:
        return 60;
    case 13:
        return 61;
    case 14:
        return 62;
    case 15:
        return 63;
    case 17:
        return 64;
    case 18:
        return 65;
    case 19:
        return 66;
    case 20:
        return 67;
    case 21:
        return 68;
    case 23:
        return 133; // F11
    case 24:
        return 134; // F12
    default:
        return 0;
    }
}

int DecodeEscape() {
    int introducer = ReadByte(EscapeWaitMs);
    if (introducer < 0) return 27;
    if (introducer != '[' && introducer != 'O') {
        PendingKey = introducer; // Esc and a key together: both, in order
        return 27;
    }
    char body[16]; // the parameters; a longer sequence is cut (nothing allocated here)
    size_t used = 0;
    int c;
    while ((c = ReadByte(EscapeWaitMs)) >= 0) {
        if (c >= 0x40 && c <= 0x7E && !(c == '[' && used == 0 && introducer == '[')) break;
        if (used < sizeof body) body[used++] = static_cast<char>(c);
    }
    if (c < 0) { // cut short: treat it as an unknown key rather than Esc, which breaks
        PendingKey = 0;
        return 0xE0;
    }
    int scan = ScanCodeOfSequence(introducer, std::string_view(body, used), static_cast<char>(c));
    PendingKey = scan;
    return scan >= 59 && scan <= 68 ? 0 : 0xE0;
}

int DecodeUtf8(int lead) {
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    uint32_t code = static_cast<uint32_t>(lead) & (0x3Fu >> extra);
    for (int i = 0; i < extra; ++i) {
        int c = ReadByte(EscapeWaitMs);
        if (c < 0 || (c & 0xC0) != 0x80) return 0xFFFD;
        code = (code << 6) | (static_cast<uint32_t>(c) & 0x3F);
    }
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
    return static_cast<int>(code);
}

// ---- Colours ----
// Console colour bits are blue 1, green 2, red 4; ANSI numbers them red 1, green 2, blue 4.
int AnsiColor(int console) {
    return ((console & 1) << 2) | (console & 2) | ((console & 4) >> 2);
}

// The normal attribute's parts (light grey on black) map to the terminal's own defaults, so
// 0x07 is a plain reset.
// Writes the sequence into sgr; returns its length.
size_t SgrSequence(uint16_t attribute, char (&sgr)[24]) {
    int fg = attribute & 15, bg = (attribute >> 4) & 15;
    int n = std::snprintf(sgr, sizeof sgr, "\x1b[0");
    if (fg != 7)
        n += std::snprintf(sgr + n, sizeof sgr - n, ";%d", ((fg & 8) ? 90 : 30) + AnsiColor(fg));
    if (bg != 0)
        n += std::snprintf(sgr + n, sizeof sgr - n, ";%d", ((bg & 8) ? 100 : 40) + AnsiColor(bg));
    n += std::snprintf(sgr + n, sizeof sgr - n, "m");
    return static_cast<size_t>(n);
}

// ---- Console-control events ----
std::atomic<ConsoleCtrlHandler> RegisteredHandler{nullptr};
struct sigaction PreviousInt, PreviousQuit;
bool SignalsInstalled = false;

void PassOn(int sig, siginfo_t* info, void* context) {
    const struct sigaction& previous = sig == SIGINT ? PreviousInt : PreviousQuit;
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction != nullptr) previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler == SIG_DFL) {
        // Ends the process once this handler returns; the terminal must be usable afterwards.
        signal(sig, SIG_DFL);
        raise(sig);
    } else if (previous.sa_handler != SIG_IGN && previous.sa_handler != nullptr) {
        previous.sa_handler(sig);
    }
}

void OnControlSignal(int sig, siginfo_t* info, void* context) {
    int savedErrno = errno;
    ConsoleCtrlHandler handler = RegisteredHandler.load();
    uint32_t event = sig == SIGINT ? 0 : 1;
    if (handler == nullptr || handler(event) == 0) {
        LeaveKeyMode();
        PassOn(sig, info, context);
    }
    errno = savedErrno;
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
    info->Attributes = CurrentAttribute.load();
    return true;
}

bool ConsoleSetAttribute(ConsoleHandle handle, uint16_t attribute) {
    int fd = HandleFd(handle);
    if (fd < 0 || isatty(fd) == 0) return false;
    attribute &= 0xFF;
    if (CurrentAttribute.exchange(attribute) == attribute) return true;
    int terminal = TerminalFd();
    if (terminal < 0) return false;
    RegisterExitHook();
    LeaveKeyMode();
    std::fflush(stdout); // keep the order of buffered output and the colour change
    char sgr[24];
    return WriteAll(terminal, sgr, SgrSequence(attribute, sgr));
}

ConsoleHandle ConsoleOpenOutput() {
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd < 0 ? nullptr : FdHandle(fd);
}

void ConsoleClose(ConsoleHandle handle) {
    int fd = HandleFd(handle);
    if (fd > STDERR_FILENO) close(fd);
}

bool ConsoleWriteDirect(const wchar_t* text, size_t length) {
    int terminal = TerminalFd();
    if (text == nullptr || terminal < 0) return false;
    LeaveKeyMode();
    std::fflush(stdout);
    // Converted piece by piece: nothing is allocated on the module's output path.
    char bytes[1024];
    size_t used = 0;
    bool ok = true;
    for (size_t i = 0; i < length; ++i) {
        if (used + 4 > sizeof bytes) {
            ok = WriteAll(terminal, bytes, used) && ok;
            used = 0;
        }
        used += WideCharToUtf8(text[i], bytes + used);
    }
    return WriteAll(terminal, bytes, used) && ok;
}

bool ConsoleKeyHit() {
    if (PendingKey >= 0) return true;
    if (!EnterKeyMode()) return false;
    pollfd p{TerminalFd(), POLLIN, 0};
    while (poll(&p, 1, 0) < 0)
        if (errno != EINTR) return false;
    return (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0; // a hang-up reads as Esc
}

int ConsoleReadKey() {
    if (PendingKey >= 0) {
        int key = PendingKey;
        PendingKey = -1;
        LeaveKeyMode();
        return key;
    }
    if (!EnterKeyMode()) return 27;
    int key;
    int byte = ReadByte(-1);
    if (byte < 0)
        key = 27; // the terminal is gone: break off rather than wait for ever
    else if (byte == 0x1B)
        key = DecodeEscape();
    else if (byte >= 0xC0 && byte <= 0xF7)
        key = DecodeUtf8(byte);
    else if (byte >= 0x80)
        key = 0xFFFD;
    else
        key = byte;
    // A character that reads like an extended-key prefix (NUL, U+00E0) gets a second code of
    // 0, so the caller's read of the second code never waits for another key.
    if (PendingKey < 0 && (key == 0 || key == 0xE0)) PendingKey = 0;
    if (PendingKey < 0) LeaveKeyMode();
    return key;
}

bool ConsoleSetCtrlHandler(ConsoleCtrlHandler handler, bool add) {
    if (add) {
        RegisteredHandler.store(handler);
        if (SignalsInstalled) return true;
        struct sigaction action {};
        action.sa_sigaction = OnControlSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGINT, &action, &PreviousInt) != 0) return false;
        if (sigaction(SIGQUIT, &action, &PreviousQuit) != 0) {
            sigaction(SIGINT, &PreviousInt, nullptr);
            return false;
        }
        SignalsInstalled = true;
        return true;
    }
    if (!SignalsInstalled || RegisteredHandler.load() != handler) return false;
    sigaction(SIGINT, &PreviousInt, nullptr);
    sigaction(SIGQUIT, &PreviousQuit, nullptr);
    SignalsInstalled = false;
    RegisteredHandler.store(nullptr);
    LeaveKeyMode();
    return true;
}
