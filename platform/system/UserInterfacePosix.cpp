// The message box on a terminal: the caption, a blank line and the text on standard output,
// then, when a person sits at the keyboard, a wait for one key.
#include "platform/system/UserInterface.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/text/Text.h"

namespace {

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text.remove_prefix(static_cast<size_t>(written));
    }
}

// Windows texts end lines in "\r\n"; a terminal wants "\n".
std::string TerminalText(const wchar_t* text) {
    std::string out = WideToUtf8(text != nullptr ? text : L"");
    std::string lines;
    lines.reserve(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n')) lines += out[i];
    return lines;
}

// Reads one key in raw mode; the terminal's mode is put back whatever happens.
void WaitForKey() {
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    // No line editing, no echo, and Ctrl-C is a key here, so no signal can leave the
    // terminal in raw mode.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
        char key = 0;
        while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
        }
        // The rest of a multi-byte key (arrows, function keys) must not reach the shell.
        tcflush(STDIN_FILENO, TCIFLUSH);
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void ShowBox(const wchar_t* caption, const wchar_t* text) {
    std::fflush(stdout); // keep order with anything the host has buffered
    std::string box = TerminalText(caption);
    box += "\n\n";
    box += TerminalText(text);
    if (box.back() != '\n') box += '\n';
    WriteAll(STDOUT_FILENO, box);

    if (isatty(STDIN_FILENO) == 0) return;
    WriteAll(STDOUT_FILENO, "Press a key to continue...");
    WaitForKey();
    WriteAll(STDOUT_FILENO, "\n");
}

} // namespace

// Called from the module's Help entry point: without memory for the text no box is shown,
// and nothing is thrown.
void ShowMessageBox(const wchar_t* caption, const wchar_t* text) {
    try {
        ShowBox(caption, text);
    } catch (...) {
    }
}
