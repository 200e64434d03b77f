#include <cerrno>
#include <csignal>
#include <histedit.h>
#include <unistd.h>

#include "platform/ConsoleColor.h"
#include "platform/HostIo.h"
#include "platform/HostSignals.h"
#include "platform/HostTerminal.h"
#include "platform/Text.h"

namespace {

volatile sig_atomic_t Interrupts = 0;
volatile sig_atomic_t InCommand = 0;

void OnInterrupt(int) {
    if (InCommand) {
        if (Interrupts > 0) {
            HostRestoreTerminal();
            _exit(130);
        }
        static const char echo[] = "^C\n";
        ssize_t ignored = write(STDERR_FILENO, echo, sizeof echo - 1);
        (void)ignored;
    }
    Interrupts = Interrupts + 1;
}

EditLine* Editor = nullptr;
History* EditorHistory = nullptr;
HistEvent EditorEvent;
std::string EditorPrompt;

char* PromptText(EditLine*) {
    return EditorPrompt.data();
}

} // namespace

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

bool HostEditorOpen(const char* program) {
    Editor = el_init(program, stdin, stdout, stderr);
    if (Editor == nullptr) return false;
    EditorHistory = history_init();
    if (EditorHistory != nullptr) {
        history(EditorHistory, &EditorEvent, H_SETSIZE, 500);
        history(EditorHistory, &EditorEvent, H_SETUNIQUE, 1);
        el_set(Editor, EL_HIST, history, EditorHistory);
    }
    el_set(Editor, EL_EDITOR, "emacs");
    el_set(Editor, EL_PROMPT, PromptText);
    el_source(Editor, nullptr); // the user's ~/.editrc, if any
    return true;
}

HostReadResult HostEditorRead(const std::wstring& prompt, std::wstring& line) {
    EditorPrompt = WideToUtf8(prompt);
    HostSetInterruptMode(HostInterruptMode::AtPrompt);
    int count = 0;
    errno = 0;
    const char* text = el_gets(Editor, &count);
    bool cancelled = Interrupts > 0 || (text == nullptr && errno == EINTR);
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
    if (EditorHistory != nullptr && bytes.find_first_not_of(" \t") != std::string::npos)
        history(EditorHistory, &EditorEvent, H_ENTER, bytes.c_str());
    line = Utf8ToWide(bytes);
    return HostReadResult::Line;
}

void HostEditorClose() {
    if (EditorHistory != nullptr) history_end(EditorHistory);
    if (Editor != nullptr) el_end(Editor);
    EditorHistory = nullptr;
    Editor = nullptr;
}

void HostApplyColor(int attribute) {
    // The process's one colour state and mapping, shared with the plug-ins' console.
    if (HostIsTerminal(HostStream::Output))
        ConsoleColorApply(static_cast<uint16_t>(attribute & 0xFF));
}
