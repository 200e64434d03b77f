// corvane: a small command processor that loads plug-in modules and runs their commands.
//   corvane [--plugin PATH]...              interactive prompt, or lines from a pipe
//   corvane [--plugin PATH]... -c "LINE"    one command line, its exit code
//   corvane [--plugin PATH]... -c WORD...   the same, the words joined into the line
//   corvane [--plugin PATH]... FILE         a batch file
#include <cstddef>
#include <string>
#include <vector>

#include "host/Colors.h"
#include "host/CommandLine.h"
#include "host/HostState.h"
#include "host/InstallLayout.h"
#include "host/Modes.h"
#include "host/Shell.h"
#include "host/Version.h"
#include "platform/host/DynamicLibrary.h"
#include "platform/host/HostIo.h"
#include "platform/host/HostSignals.h"
#include "platform/host/HostTerminal.h"

namespace {

struct Options {
    std::vector<std::wstring> plugins;
    bool transient = false;
    std::wstring line;
    std::wstring batchFile;
};

constexpr const wchar_t* UsageText =
    L"usage: corvane [--plugin PATH]... [-c LINE | -c WORD... | FILE]\n"
    L"  -c LINE        run one command line and exit with its code\n"
    L"  -c WORD...     the same with the rest of the words as the line, joined by blanks;\n"
    L"                 a word with blanks or quotes stays one argument of the command\n"
    L"                 (corvane -c dns /K example.com)\n"
    L"  FILE           run a batch file\n"
    L"  --plugin PATH  load another plug-in module (repeatable; before -c)\n";

// 0: go on; otherwise the process's exit code.
int ParseOptions(const std::vector<std::wstring>& args, Options& options, Shell& shell) {
    const size_t count = args.size();
    for (size_t i = 0; i < count; ++i) {
        const std::wstring& arg = args[i];
        if ((arg == L"--plugin" || arg == L"-c") && i + 1 >= count) {
            shell.Error(arg + L" needs a value");
            return 2;
        }
        if (arg == L"--plugin") {
            options.plugins.push_back(args[++i]);
        } else if (arg == L"-c") {
            // The rest of the words are the line; a single word is the line as it is.
            options.transient = true;
            std::vector<std::wstring> words(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                            args.end());
            options.line = words.size() == 1 ? words[0] : CommandLineFromWords(words);
            break;
        } else if (arg == L"--help" || arg == L"-h") {
            shell.Out(UsageText);
            return -1;
        } else if (arg == L"--version") {
            shell.Out(std::wstring(L"Corvane ") + CorvaneVersion + L"\n");
            return -1;
        } else if (arg.starts_with(L"-") && arg.size() > 1) {
            shell.Error(L"unknown option: " + arg);
            shell.write(2, UsageText);
            return 2;
        } else if (options.batchFile.empty()) {
            options.batchFile = arg;
        } else {
            // Likely a command typed without -c: say how it would run.
            std::vector<std::wstring> words{options.batchFile};
            words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            shell.Error(L"only one batch file can be given; to run a command: corvane -c " +
                        CommandLineFromWords(words));
            return 2;
        }
    }
    if (options.transient && !options.batchFile.empty()) {
        shell.Error(L"-c and a batch file cannot be combined");
        return 2;
    }
    return 0;
}

// CORVANE_COLOR sets the starting colour, e.g. "bright white on blue".
void ApplyStartColor() {
    std::wstring text;
    int fg = -1, bg = -1;
    if (!HostGetEnv(L"CORVANE_COLOR", text) || ParseColorText(text, fg, bg) != 0) return;
    if (bg < 0) bg = 0;
    if (fg == bg) return;
    CorvaneSetColor(bg << 4 | fg);
    HostApplyColor(bg << 4 | fg);
}

} // namespace

int main(int argc, char** argv) {
    HostUseUtf8CharacterType();
    Shell shell;
    Options options;
    if (int code = ParseOptions(HostArguments(argc, argv), options, shell))
        return code < 0 ? 0 : code;

    bool terminal = HostIsTerminal(HostStream::Input);
    CorvaneSetMode(options.transient, !terminal);
    HostSetInterruptMode(HostInterruptMode::InCommand);
    HostInstallSignals();
    ApplyStartColor();

    // Beside the executable in the build tree; in the module folder once installed.
    std::wstring directory = HostExecutableDirectory();
    if (directory.empty()) directory = L".";
    LoadFirstPlugin({LibraryPathIn(directory, L"Dns"),
                     LibraryPathIn(directory + L"/" + InstalledModuleDirectory, L"Dns")},
                    shell.plugins);
    for (const std::wstring& path : options.plugins)
        LoadPlugin(path, shell.plugins);

    if (options.transient)
        RunLine(shell, options.line);
    else if (!options.batchFile.empty())
        RunBatchFile(shell, options.batchFile);
    else if (terminal)
        RunInteractive(shell);
    else
        RunPiped(shell);

    UnloadPlugins(shell.plugins);
    if (CorvaneGetColor() != 0x07) HostApplyColor(0x07);
    // The status is the low byte of the code: -1 ends as 255.
    return shell.lastCode;
}
