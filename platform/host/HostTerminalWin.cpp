// The host's console on Windows: Ctrl-C and Ctrl-Break through SetConsoleCtrlHandler, the
// console's own line input (with its history and editing keys) at the prompt, and colours as
// console text attributes.
#include <windows.h>

#include <atomic>

#include "platform/host/HostIo.h"
#include "platform/host/HostTerminal.h"
#include "platform/text/Text.h"

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

bool HostEditorOpen(const char*) {
    return HostIsTerminal(HostStream::Input);
}

HostReadResult HostEditorRead(const std::wstring& prompt, std::wstring& line) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HostWrite(1, WideToUtf8(prompt));
    HostSetInterruptMode(HostInterruptMode::AtPrompt);
    std::wstring text;
    bool cancelled = false, ended = false;
    for (;;) {
        wchar_t buffer[1024];
        DWORD got = 0;
        SetLastError(ERROR_SUCCESS);
        BOOL ok = ReadConsoleW(input, buffer, 1024, &got, nullptr);
        // Ctrl-C ends the read with nothing read; the handler counts it on its own thread.
        if (Interrupts.load() > 0 || (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED)) {
            cancelled = true;
            break;
        }
        if (!ok || got == 0) {
            ended = true;
            break;
        }
        text.append(buffer, got);
        if (text.back() == L'\n') break;
    }
    HostSetInterruptMode(HostInterruptMode::InCommand);
    if (cancelled) {
        HostWrite(1, "^C\n");
        return HostReadResult::Cancelled;
    }
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        text.pop_back();
    // Ctrl-Z at the start of a line is the end of console input.
    if ((ended && text.empty()) || (!text.empty() && text.front() == L'\x1a'))
        return HostReadResult::EndOfInput;
    line = text;
    return HostReadResult::Line;
}

void HostEditorClose() {}

void HostApplyColor(int attribute) {
    if (!HostIsTerminal(HostStream::Output)) return;
    SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), static_cast<WORD>(attribute & 0xFF));
}

void HostUseUtf8CharacterType() {}
