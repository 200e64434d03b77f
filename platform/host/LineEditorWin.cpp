// The prompt's line editor on Windows: the console's own line input, with its history and
// editing keys. A Ctrl-C (HostTerminalWin.cpp counts it) cancels the line.
#include <windows.h>

#include "platform/host/HostIo.h"
#include "platform/host/HostTerminal.h"
#include "platform/host/LineEditor.h"
#include "platform/text/Text.h"

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
        if (HostInterruptPending() || (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED)) {
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
