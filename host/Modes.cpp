#include "host/Modes.h"

#include "host/Completion.h"
#include "platform/host/HostIo.h"
#include "platform/host/HostSignals.h"
#include "platform/host/HostTerminal.h"
#include "platform/host/LineCompletion.h"
#include "platform/host/LineEditor.h"
#include "platform/text/Text.h"

int RunInteractive(Shell& shell) {
    HostKeepTypedEndOfInput(true);
    if (!HostEditorOpen("corvane")) {
        HostKeepTypedEndOfInput(false);
        return RunPiped(shell);
    }
    HostSetLineCompleter(
        [&shell](std::wstring_view before) { return CompleteCommandLine(shell, before); });
    std::wstring line;
    while (!shell.exitRequested) {
        HostReadResult result = HostEditorRead(L"corvane> ", line);
        // The line editor has put its own idea of the terminal's line mode back.
        HostKeepTypedEndOfInput(true);
        if (result == HostReadResult::EndOfInput) {
            shell.Out(L"\n");
            break;
        }
        if (result == HostReadResult::Cancelled) continue;
        RunLine(shell, line);
        HostTakeInterrupt(); // a remembered Ctrl-C has done its work: the prompt is back
    }
    HostEditorClose();
    HostKeepTypedEndOfInput(false);
    HostSetLineCompleter({});
    return shell.lastCode;
}

int RunPiped(Shell& shell) {
    std::string line;
    while (!shell.exitRequested && HostReadStdinLine(line)) {
        // A Ctrl-C while waiting for input counts too: the line that came after it is dropped.
        bool interrupted = HostTakeInterrupt();
        if (!interrupted) {
            RunLine(shell, Utf8ToWide(line));
            interrupted = HostTakeInterrupt();
        }
        if (interrupted) {
            shell.interrupted = true;
            shell.lastCode = InterruptedCode;
            break;
        }
    }
    return shell.lastCode;
}
