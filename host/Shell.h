// The command processor: runs command lines, batch files and the built-in commands.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Plugins.h"

inline constexpr int UnknownCommandCode = 127;
inline constexpr int InterruptedCode = 130;
inline constexpr int MaxBatchNesting = 32;

struct Shell {
    std::vector<LoadedPlugin> plugins;
    int lastCode = 0;
    bool exitRequested = false; // exit ran: stop everything, end with lastCode
    bool interrupted = false;   // Ctrl-C during a batch file or piped input: stop reading
    // Where the shell's own text goes: descriptor 1 or 2, wide text. Tests capture it.
    std::function<void(int fd, std::wstring_view text)> write = DefaultWrite;

    static void DefaultWrite(int fd, std::wstring_view text);
    void Out(std::wstring_view text) { write(1, text); }
    void Error(std::wstring_view text); // "corvane: " + text + "\n" on standard error
};

// Runs one command line and returns its exit code (also kept in lastCode). Blank and comment
// lines run nothing and leave lastCode as it is.
int RunLine(Shell& shell, std::wstring_view line);

// Runs a batch file's lines with the batch variables set; returns the last command's code.
int RunBatchLines(Shell& shell, const std::wstring& path, const std::vector<std::wstring>& lines);
int RunBatchFile(Shell& shell, const std::wstring& path);

// Built-in commands; false when name is not one of them.
bool RunBuiltin(Shell& shell, std::wstring_view name, std::wstring_view arguments, int& code);
// The built-ins' names and one-line descriptions, for help.
struct BuiltinInfo {
    std::wstring_view name;
    std::wstring_view syntax;
    std::wstring_view summary;
};
const std::vector<BuiltinInfo>& Builtins();

// Variable references expanded for the built-ins' arguments.
std::wstring ExpandForShell(std::wstring_view text);
