// The host's console on Windows: Ctrl-C and Ctrl-Break through SetConsoleCtrlHandler, and
// colours as console text attributes. The prompt's line input is LineEditorWin.cpp.
#include <windows.h>

#include <atomic>

#include "platform/host/HostIo.h"
#include "platform/host/HostTerminal.h"

namespace {

std::atomic<int> Interrupts{0};
std::atomic<bool> InCommand{false};

HANDLE Standard(HostStream stream) {
    switch (stream) {
    case HostStream::Input:
        return GetStdHandle(STD_INPUT_HANDLE);
    case HostStream::Output:
        return GetStdHandle(STD_OUTPUT_HANDLE);
    default:
        return GetStdHandle(STD_ERROR_HANDLE);
    }
}

// Runs on the system's console-control thread. A plug-in's handler, registered later, is
// asked first and keeps the event from reaching this one while it handles it.
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (InCommand.load()) {
        if (Interrupts.load() > 0) ExitProcess(130);
        HostWrite(2, "^C\n");
    }
    Interrupts.fetch_add(1);
    return TRUE;
}

void InstallHandler() {
    static const bool installed = SetConsoleCtrlHandler(OnControl, TRUE) != 0;
    (void)installed;
}

} // namespace

bool HostIsTerminal(HostStream stream) {
    DWORD mode = 0;
    HANDLE handle = Standard(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void HostSetInterruptMode(HostInterruptMode mode) {
    InstallHandler();
    InCommand.store(mode == HostInterruptMode::InCommand);
    Interrupts.store(0);
}

bool HostTakeInterrupt() {
    return Interrupts.exchange(0) > 0;
}

bool HostInterruptPending() {
    return Interrupts.load() > 0;
}

void HostApplyColor(int attribute) {
    if (!HostIsTerminal(HostStream::Output)) return;
    SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), static_cast<WORD>(attribute & 0xFF));
}

void HostUseUtf8CharacterType() {}
