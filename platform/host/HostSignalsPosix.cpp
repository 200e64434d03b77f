// The host's signals on a POSIX terminal: Ctrl-\ does nothing, as in an interactive shell;
// SIGTERM and SIGHUP leave the terminal as it was found before they end the host.
#include "platform/host/HostSignals.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>

#include "platform/console/shared/ConsoleColor.h"

namespace {

termios FoundMode;
volatile sig_atomic_t ModeFound = 0;

bool SameMode(const termios& a, const termios& b) {
    if (a.c_iflag != b.c_iflag || a.c_oflag != b.c_oflag || a.c_cflag != b.c_cflag ||
        a.c_lflag != b.c_lflag)
        return false;
    for (size_t i = 0; i < NCCS; ++i)
        if (a.c_cc[i] != b.c_cc[i]) return false;
    return true;
}

void OnQuit(int) {}

void OnEnding(int sig) {
    HostRestoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig); // delivered once this handler returns: the host ends with the same signal
}

void Install(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART; // a read at the prompt goes on undisturbed
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
}

} // namespace

void HostInstallSignals() {
    if (tcgetattr(STDIN_FILENO, &FoundMode) == 0) ModeFound = 1;
    Install(SIGQUIT, OnQuit);
    for (int sig : {SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // One that the host was started to ignore stays ignored.
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        Install(sig, OnEnding);
    }
}

void HostKeepTypedEndOfInput(bool on) {
    termios mode;
    if (ModeFound == 0 || tcgetattr(STDIN_FILENO, &mode) != 0) return;
    mode.c_cc[VEOF] = on ? _POSIX_VDISABLE : FoundMode.c_cc[VEOF];
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

void HostRestoreTerminal() {
    // Only a changed mode is set: from a background job that would stop the process instead.
    termios now;
    if (ModeFound != 0 && tcgetattr(STDIN_FILENO, &now) == 0 && !SameMode(now, FoundMode))
        tcsetattr(STDIN_FILENO, TCSANOW, &FoundMode);
    ConsoleColorRestoreDefault();
}
