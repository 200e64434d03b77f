// Console-control events from a POSIX terminal: SIGINT (Ctrl-C) and SIGQUIT (Ctrl-Break,
// typed as Ctrl-\) go to the registered handler; what it does not handle takes the action
// that was there before. SIGTERM and SIGHUP that end the process while the keyboard is in
// key mode first put the terminal back, as terminal programs do.
#include "platform/console/ConsoleSignalsPosix.h"

#include <signal.h>

#include <atomic>
#include <cerrno>

#include "platform/console/Console.h"
#include "platform/console/shared/ConsoleColor.h"

namespace {

// Calls the action that was installed before ours, as the system would have.
void PassOn(const struct sigaction& previous, int sig, siginfo_t* info, void* context) {
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction != nullptr) previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler == SIG_DFL) {
        // Ends the process once this handler returns (the signal is blocked until then).
        signal(sig, SIG_DFL);
        raise(sig);
    } else if (previous.sa_handler != SIG_IGN && previous.sa_handler != nullptr) {
        previous.sa_handler(sig);
    }
}

// What puts the terminal back (key mode's leaving), while key mode is on.
std::atomic<ConsoleTerminalRestore> TerminalRestore{nullptr};

void RestoreTerminal() {
    if (ConsoleTerminalRestore restore = TerminalRestore.load()) restore();
}

// ---- Ctrl-C and Ctrl-Break ----
std::atomic<ConsoleCtrlHandler> RegisteredHandler{nullptr};
struct sigaction PreviousInt, PreviousQuit;
bool SignalsInstalled = false;

void OnControlSignal(int sig, siginfo_t* info, void* context) {
    int savedErrno = errno;
    ConsoleCtrlHandler handler = RegisteredHandler.load();
    uint32_t event = sig == SIGINT ? 0 : 1;
    if (handler == nullptr || handler(event) == 0) {
        RestoreTerminal(); // the previous action may end the process
        PassOn(sig == SIGINT ? PreviousInt : PreviousQuit, sig, info, context);
    }
    errno = savedErrno;
}

// ---- The terminal guard ----
struct GuardedSignal {
    int number;
    struct sigaction previous;
    bool installed;
};
GuardedSignal Guarded[] = {{SIGTERM, {}, false}, {SIGHUP, {}, false}};

void OnEndingSignal(int sig, siginfo_t* info, void* context) {
    int savedErrno = errno;
    struct sigaction previous {};
    for (const GuardedSignal& g : Guarded)
        if (g.number == sig) previous = g.previous;
    RestoreTerminal(); // also takes the guard down
    ConsoleColorRestoreDefault();
    PassOn(previous, sig, info, context);
    errno = savedErrno;
}

} // namespace

void ConsoleGuardTerminal(ConsoleTerminalRestore restore) {
    TerminalRestore.store(restore);
    bool on = restore != nullptr;
    for (GuardedSignal& g : Guarded) {
        if (on && !g.installed) {
            struct sigaction current {};
            if (sigaction(g.number, nullptr, &current) != 0) continue;
            if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_sigaction = OnEndingSignal;
            action.sa_flags = SA_SIGINFO | SA_RESTART;
            sigemptyset(&action.sa_mask);
            if (sigaction(g.number, &action, &g.previous) == 0) g.installed = true;
        } else if (!on && g.installed) {
            sigaction(g.number, &g.previous, nullptr);
            g.installed = false;
        }
    }
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
    RestoreTerminal();
    return true;
}
