// The host's terminal on POSIX: whether the standard streams are terminals, Ctrl-C at the
// prompt and during a command, the character type the line editor works in, and the colour
// (the process's one colour state, shared with the plug-ins' console).
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include "platform/console/shared/ConsoleColor.h"
#include "platform/host/HostSignals.h"
#include "platform/host/HostTerminal.h"
#include "platform/host/PromptInterruptPosix.h"

namespace {

volatile sig_atomic_t Interrupts = 0;
volatile sig_atomic_t InCommand = 0;
// At the prompt a Ctrl-C also writes a byte here, so that the editor's read notices it even
// when it comes while the editor is between two reads (a flag alone would then be seen only
// after the next key). The reader empties it whenever it wakes on it.
int InterruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
    if (InCommand) {
        if (Interrupts > 0) {
            HostRestoreTerminal();
            _exit(130);
        }
        static const char echo[] = "^C\n";
        ssize_t ignored = write(STDERR_FILENO, echo, sizeof echo - 1);
        (void)ignored;
    } else if (InterruptPipe[1] >= 0) {
        int saved = errno;
        ssize_t ignored = write(InterruptPipe[1], "", 1);
        (void)ignored;
        errno = saved;
    }
    Interrupts = Interrupts + 1;
}

} // namespace

void HostOpenInterruptPipe() {
    if (InterruptPipe[0] < 0 && pipe2(InterruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        InterruptPipe[0] = InterruptPipe[1] = -1;
}

int HostInterruptPipeFd() {
    return InterruptPipe[0];
}

void HostDrainInterruptPipe() {
    char bytes[16];
    while (InterruptPipe[0] >= 0 && read(InterruptPipe[0], bytes, sizeof bytes) > 0) {
    }
}

void HostCloseInterruptPipe() {
    for (int& end : InterruptPipe) {
        if (end >= 0) close(end);
        end = -1;
    }
}

bool HostIsTerminal(HostStream stream) {
    return isatty(static_cast<int>(stream)) == 1;
}

void HostSetInterruptMode(HostInterruptMode mode) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // At the prompt the read must be interrupted to cancel the line; during a command,
    // system calls resume so that a plug-in's I/O is not disturbed by a remembered Ctrl-C.
    action.sa_flags = mode == HostInterruptMode::InCommand ? SA_RESTART : 0;
    InCommand = mode == HostInterruptMode::InCommand;
    Interrupts = 0;
    sigaction(SIGINT, &action, nullptr);
}

bool HostTakeInterrupt() {
    bool seen = Interrupts > 0;
    Interrupts = 0;
    return seen;
}

bool HostInterruptPending() {
    return Interrupts > 0;
}

void HostUseUtf8CharacterType() {
    const char* user = setlocale(LC_CTYPE, "");
    if (user != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) setlocale(LC_CTYPE, "C");
}

void HostApplyColor(int attribute) {
    // The process's one colour state and mapping, shared with the plug-ins' console.
    if (HostIsTerminal(HostStream::Output))
        ConsoleColorApply(static_cast<uint16_t>(attribute & 0xFF));
}
