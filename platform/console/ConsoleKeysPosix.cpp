// The console's keyboard on a terminal: key mode, and the bytes of a key decoded into the
// codes a console gives (extended keys as 0 or 0xE0 and a second code).
#include "platform/console/ConsoleKeysPosix.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/console/Console.h"
#include "platform/console/ConsoleSignalsPosix.h"
#include "platform/console/shared/ConsoleTerminalPosix.h"
#include "platform/text/Text.h"

namespace {
constexpr int EscapeWaitMs = 50; // a lone Esc is one with no sequence byte after this long
constexpr int KeyCtrlC = 3;
constexpr int KeyEscape = 27;

termios SavedMode;
volatile sig_atomic_t KeyModeFd = -1; // the terminal in key mode, -1 when key mode is off

void AtExit() {
    ConsoleLeaveKeyMode();
}

// The terminal's own characters for Ctrl-C and Ctrl-Break (Ctrl-\), as it had them before key
// mode turned its signals off; -1 for one that is disabled.
int InterruptCharacter = KeyCtrlC;
int QuitCharacter = 0x1C;

int SignalCharacter(const termios& mode, int index) {
    if ((mode.c_lflag & ISIG) == 0) return -1;
    cc_t c = mode.c_cc[index];
    return c == _POSIX_VDISABLE ? -1 : c;
}

// ---- Key decoding ----
int PendingKey = -1; // the second code of an extended key, returned by the next read

// One byte from the terminal, waiting at most timeoutMs (-1: without limit). -1 when none.
int ReadByte(int timeoutMs) {
    pollfd p{KeyModeFd, POLLIN, 0};
    for (;;) {
        int ready = poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return -1;
        unsigned char byte;
        ssize_t n = read(KeyModeFd, &byte, 1);
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
    if (introducer < 0) return KeyEscape;
    if (introducer != '[' && introducer != 'O') {
        PendingKey = introducer; // Esc and a key together: both, in order
        return KeyEscape;
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

// A character typed in UTF-8; U+FFFD for bytes that are none (the byte that showed it is
// used up), or for one cut short.
int DecodeUtf8(int lead) {
    unsigned char bytes[4] = {static_cast<unsigned char>(lead)};
    size_t count = 1;
    char32_t code = 0;
    for (;;) {
        size_t length = DecodeUtf8Prefix(bytes, count, &code);
        if (length != Utf8Incomplete) return length != 0 ? static_cast<int>(code) : 0xFFFD;
        int next = ReadByte(EscapeWaitMs);
        if (next < 0) return 0xFFFD;
        bytes[count++] = static_cast<unsigned char>(next);
    }
}

int DecodeKey(int byte) {
    if (byte < 0) return KeyEscape; // the terminal is gone: break off rather than wait for ever
    // With the terminal's signals off, its Ctrl-C and Ctrl-Break characters arrive as bytes;
    // both are the break key here, as a break during the wait is.
    if (byte == InterruptCharacter || byte == QuitCharacter) return KeyCtrlC;
    if (byte == 0x1B) return DecodeEscape();
    if (byte >= 0x80) return DecodeUtf8(byte);
    return byte;
}

} // namespace

bool ConsoleEnterKeyMode() {
    if (KeyModeFd >= 0) return true;
    int fd = ConsoleKeyboardFd();
    if (fd < 0) return false;
    static bool registered = (std::atexit(AtExit) == 0);
    (void)registered;
    termios mode;
    if (tcgetattr(fd, &mode) != 0) return false;
    SavedMode = mode;
    InterruptCharacter = SignalCharacter(mode, VINTR);
    QuitCharacter = SignalCharacter(mode, VQUIT);
    mode.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
    mode.c_iflag &= ~tcflag_t(ICRNL | INLCR | IXON); // Enter reads as 13, Ctrl-S as a key
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    ConsoleGuardTerminal(ConsoleLeaveKeyMode);
    KeyModeFd = fd; // before the change, so a signal in between still restores
    if (tcsetattr(fd, TCSANOW, &mode) != 0) {
        KeyModeFd = -1;
        ConsoleGuardTerminal(nullptr);
        return false;
    }
    return true;
}

void ConsoleLeaveKeyMode() {
    int fd = KeyModeFd;
    if (fd < 0) return;
    tcsetattr(fd, TCSANOW, &SavedMode);
    KeyModeFd = -1;
    ConsoleGuardTerminal(nullptr);
}

bool ConsoleKeyHit() {
    if (PendingKey >= 0) return true;
    // A keyboard that cannot be read reports a key, which reads as Esc: never a wait for ever.
    if (!ConsoleEnterKeyMode()) return true;
    pollfd p{KeyModeFd, POLLIN, 0};
    while (poll(&p, 1, 0) < 0)
        if (errno != EINTR) return false;
    return (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0; // a hang-up reads as Esc
}

int ConsoleReadKey() {
    if (PendingKey >= 0) {
        int key = PendingKey;
        PendingKey = -1;
        ConsoleLeaveKeyMode();
        return key;
    }
    if (!ConsoleEnterKeyMode()) return KeyEscape;
    int key = DecodeKey(ReadByte(-1));
    // A character that reads like an extended-key prefix (NUL, U+00E0) gets a second code of
    // 0, so the caller's read of the second code never waits for another key.
    if (PendingKey < 0 && (key == 0 || key == 0xE0)) PendingKey = 0;
    if (PendingKey < 0) ConsoleLeaveKeyMode();
    return key;
}
