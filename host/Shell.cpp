#include "host/Shell.h"

#include "host/CommandLine.h"
#include "host/HostState.h"
#include "platform/host/HostIo.h"
#include "platform/host/HostTerminal.h"
#include "platform/system/FileText.h"
#include "platform/text/Text.h"

void Shell::DefaultWrite(int fd, std::wstring_view text) {
    CorvaneWrite(fd, text.data(), text.size());
}

void Shell::Error(std::wstring_view text) {
    std::wstring line = L"corvane: ";
    line += text;
    line += L"\n";
    write(2, line);
}

std::wstring ExpandForShell(std::wstring_view text) {
    // Room for every reference to grow; a longer result is cut, like the services' buffers.
    std::wstring input(text);
    std::vector<wchar_t> out(input.size() + 32768);
    CorvaneExpand(input.c_str(), out.data(), out.size());
    return out.data();
}

int RunLine(Shell& shell, std::wstring_view line) {
    if (IsSkippedLine(line)) return shell.lastCode;
    CommandParts parts = SplitCommand(line);
    int code = 0;
    // Plug-in commands come first, so that a plug-in can replace a built-in.
    if (const PluginCommand* command = FindPluginCommand(shell.plugins, parts.name)) {
        std::wstring arguments(parts.arguments); // terminated copy, passed unchanged
        code = command->run(arguments.c_str());
    } else if (!RunBuiltin(shell, parts.name, parts.arguments, code)) {
        shell.Error(L"unknown command: " + std::wstring(parts.name));
        code = UnknownCommandCode;
    }
    shell.lastCode = code;
    return code;
}

int RunBatchLines(Shell& shell, const std::wstring& path, const std::vector<std::wstring>& lines) {
    if (CorvaneBatchLevel() >= MaxBatchNesting) {
        shell.Error(L"batch files nested too deeply: " + path);
        return shell.lastCode = 1;
    }
    CorvaneEnterBatch(path.c_str());
    for (size_t i = 0; i < lines.size() && !shell.exitRequested && !shell.interrupted; ++i) {
        CorvaneSetBatchLine(static_cast<int>(i + 1));
        RunLine(shell, lines[i]);
        // A Ctrl-C remembered while the line ran stops the batch file after it.
        if (HostTakeInterrupt()) {
            shell.interrupted = true;
            shell.lastCode = InterruptedCode;
        }
    }
    CorvaneLeaveBatch();
    return shell.lastCode;
}

int RunBatchFile(Shell& shell, const std::wstring& path) {
    std::string contents;
    if (ReadFileText(WideToUtf8(path).c_str(), contents.max_size(), contents) !=
        FileTextResult::Read) {
        shell.Error(L"cannot read batch file: " + path);
        return shell.lastCode = 1;
    }
    return RunBatchLines(shell, HostFullPath(path), SplitLines(contents));
}
