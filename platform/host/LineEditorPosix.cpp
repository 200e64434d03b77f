// The prompt's line editor on POSIX: libedit, with the history file of EditorHistoryPosix.cpp
// and Tab through the command processor's completer (LineCompletion.h). Its reader decodes
// UTF-8 whatever the locale and wakes on a Ctrl-C (PromptInterruptPosix.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <histedit.h>
#include <poll.h>
#include <unistd.h>

#include "platform/host/EditorHistoryPosix.h"
#include "platform/host/HostIo.h"
#include "platform/host/HostTerminal.h"
#include "platform/host/LineCompletion.h"
#include "platform/host/LineEditor.h"
#include "platform/host/PromptInterruptPosix.h"
#include "platform/text/Text.h"

namespace {

// The editor's character reader: one byte at a time, decoded as UTF-8 whatever the locale (a
// byte that starts no character is dropped), waiting on the terminal and the interrupt pipe
// together. A Ctrl-C ends the read as an interrupted one.
int ReadCharacter(EditLine*, wchar_t* character) {
    *character = L'\0';
    unsigned char bytes[4];
    size_t count = 0;
    for (;;) {
        pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {HostInterruptPipeFd(), POLLIN, 0}};
        if (HostInterruptPending()) {
            errno = EINTR;
            return -1;
        }
        if (poll(waits, HostInterruptPipeFd() >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (waits[1].revents != 0) {
            // The flag says whether it is this prompt's Ctrl-C; a byte left from an earlier
            // one, or from one that the flag's reset discarded, must not wake the poll again.
            HostDrainInterruptPipe();
            continue;
        }
        ssize_t got = read(STDIN_FILENO, bytes + count, 1);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;
        }
        if (got == 0) return 0;
        ++count;
        while (count > 0) {
            char32_t code = 0;
            size_t length = DecodeUtf8Prefix(bytes, count, &code);
            if (length == Utf8Incomplete) break; // one more byte
            if (length != 0) {
                *character = static_cast<wchar_t>(code);
                return 1;
            }
            // No character starts at the first byte: dropped; the next one may start one.
            std::memmove(bytes, bytes + 1, --count);
        }
    }
}

EditLine* Editor = nullptr;
History* EditorHistory = nullptr;
HistEvent EditorEvent;
std::string EditorPrompt;
std::string HistoryPath;

char* PromptText(EditLine*) {
    return EditorPrompt.data();
}

// Tab: the command processor's completer says what replaces the word before the cursor, or
// which choices to list below the line when nothing would change.
unsigned char CompleteAtCursor(EditLine* editor, int) {
    const LineCompleter& completer = HostLineCompleter();
    const LineInfoW* line = el_wline(editor);
    if (!completer || line == nullptr) return CC_ERROR;
    std::wstring_view before(line->buffer, static_cast<size_t>(line->cursor - line->buffer));
    LineCompletion completion = completer(before);
    if (completion.replace > before.size()) return CC_ERROR;
    if (before.substr(before.size() - completion.replace) != completion.text) {
        el_deletestr(editor, static_cast<int>(completion.replace));
        if (!completion.text.empty()) el_winsertstr(editor, completion.text.c_str());
        return CC_REFRESH;
    }
    if (completion.choices.empty()) return CC_REFRESH_BEEP;
    std::wstring list = L"\n";
    for (const std::wstring& choice : completion.choices)
        list += choice + L"  ";
    list += L"\n";
    std::fflush(stdout); // the editor's own output first
    HostWrite(STDOUT_FILENO, WideToUtf8(list));
    return CC_REDISPLAY;
}

} // namespace

bool HostEditorOpen(const char* program) {
    Editor = el_init(program, stdin, stdout, stderr);
    if (Editor == nullptr) return false;
    EditorHistory = history_init();
    if (EditorHistory != nullptr) {
        history(EditorHistory, &EditorEvent, H_SETSIZE, EditorHistoryLines);
        history(EditorHistory, &EditorEvent, H_SETUNIQUE, 1);
        el_set(Editor, EL_HIST, history, EditorHistory);
        HistoryPath = EditorHistoryFile();
        if (!HistoryPath.empty()) EditorHistoryLoad(EditorHistory, HistoryPath);
    }
    HostOpenInterruptPipe();
    el_set(Editor, EL_GETCFN, ReadCharacter);
    el_set(Editor, EL_EDITOR, "emacs");
    el_set(Editor, EL_PROMPT, PromptText);
    // The wide calls: libedit keeps the name and help text as given, where the narrow ones
    // would leave copies that it never frees.
    el_wset(Editor, EL_ADDFN, L"corvane-complete", L"complete the command name or option",
            CompleteAtCursor);
    el_wset(Editor, EL_BIND, L"^I", L"corvane-complete", nullptr);
    el_source(Editor, nullptr); // the user's ~/.editrc, if any
    return true;
}

HostReadResult HostEditorRead(const std::wstring& prompt, std::wstring& line) {
    EditorPrompt = WideToUtf8(prompt);
    HostSetInterruptMode(HostInterruptMode::AtPrompt);
    int count = 0;
    errno = 0;
    const char* text = el_gets(Editor, &count);
    bool cancelled = HostInterruptPending() || (text == nullptr && errno == EINTR);
    HostSetInterruptMode(HostInterruptMode::InCommand);
    if (text == nullptr || count <= 0 || cancelled) {
        if (cancelled) {
            el_reset(Editor);
            HostWrite(STDOUT_FILENO, "^C\n");
            return HostReadResult::Cancelled;
        }
        return HostReadResult::EndOfInput;
    }
    std::string bytes(text, static_cast<size_t>(count));
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.pop_back();
    if (EditorHistory != nullptr && bytes.find_first_not_of(" \t") != std::string::npos) {
        history(EditorHistory, &EditorEvent, H_ENTER, bytes.c_str());
        // Saved at once, so that the line survives however this session ends.
        if (!HistoryPath.empty()) EditorHistorySave(EditorHistory, HistoryPath);
    }
    line = Utf8ToWide(bytes);
    return HostReadResult::Line;
}

void HostEditorClose() {
    if (EditorHistory != nullptr) history_end(EditorHistory);
    if (Editor != nullptr) el_end(Editor);
    EditorHistory = nullptr;
    Editor = nullptr;
    HostCloseInterruptPipe();
}
