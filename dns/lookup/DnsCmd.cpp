// The DNS command: options, server and names, output set-up, and one lookup per name.
#include <array>
#include <cstdint>
#include <cwchar>

#include "dns/frame/Errors.h"
#include "dns/frame/HelpTexts.h"
#include "dns/frame/HostApi.h"
#include "dns/frame/Plugin.h"
#include "dns/frame/SplitArguments.h"
#include "dns/lookup/LookupFlags.h"
#include "dns/lookup/LookupNames.h"
#include "dns/lookup/ServerList.h"
#include "dns/output/HighlightSetting.h"
#include "dns/output/Pager.h"
#include "platform/console/Console.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/SocketTypes.h"
#include "platform/text/Text.h"

// The path of this file as the build records it; the version banner shows its base name.
extern const char DnsCommandSourcePath[] = __FILE__;

namespace {

constexpr uint32_t MinTxtWidth = 40;
constexpr uint32_t MaxTxtWidth = 240;
constexpr int MinAutoWidth = 22;
constexpr int MaxAutoWidth = 400;
constexpr uint32_t FallbackTxtWidth = 100;
constexpr uint32_t ConsoleModeUnset = 0xFFFFFFFFu;

constexpr int ExitDone = 0;
constexpr int ExitBadOption = 1;
constexpr int ExitOutputFailed = 2;
constexpr int ExitBroken = 3;
constexpr int ExitNoName = -1;

// The settings one command line asks for.
struct DnsOptions {
    uint32_t flags = 0;
    uint32_t width = 0;
    bool autoWidth = false;
    uint32_t pageLines = 0;
    bool highlightOff = false;
    bool trace = false;
    int firstPositional = -1;
    int namesAfterFirst = 0;
};

// Compares the beginning of arg with an upper-case option, folding a to z only.
bool StartsWithOption(const wchar_t* arg, const wchar_t* option) {
    for (; *option != L'\0'; ++arg, ++option)
        if (UpperAscii(*arg) != *option) return false;
    return true;
}

bool IsOption(const wchar_t* arg, const wchar_t* option) {
    return StartsWithOption(arg, option) && arg[std::wcslen(option)] == L'\0';
}

// Skips a one-letter switch and the ":" or "=" that may follow it.
wchar_t* SwitchValue(wchar_t* arg) {
    wchar_t* value = arg + 2;
    if (*value == L':' || *value == L'=') ++value;
    return value;
}

// Outcome of reading the options: go on, or end the command with this code.
struct ParseResult {
    bool proceed;
    int exitCode;
};
constexpr ParseResult Proceed{true, ExitDone};
ParseResult Stop(int code) {
    return {false, code};
}

ParseResult ReadDisableLetters(wchar_t* arg, DnsOptions& options) {
    for (const wchar_t* p = SwitchValue(arg); *p != L'\0'; ++p) {
        wchar_t letter = UpperAscii(*p);
        switch (letter) {
        case L'C':
            options.highlightOff = true;
            break;
        case L'H':
            options.flags |= NoHeaders;
            break;
        case L'N':
            options.flags |= NoNameLine;
            break;
        case L'S':
            options.flags &= ~SortRecords;
            break;
        case L'?':
            QPuts(DisableFeaturesHelpText);
            return Stop(ExitDone);
        default:
            PrintErrorPrefix();
            Qprintf(ConsoleStdError(), L"Unknown suboption: /N:%c\r\n", letter);
            return Stop(ExitBadOption);
        }
    }
    return Proceed;
}

ParseResult ReadWidth(wchar_t* arg, DnsOptions& options) {
    uint32_t width = 0;
    if (ParseUnsigned(SwitchValue(arg), &width, nullptr) != 0) {
        UpperCaseWide(arg);
        PrintErrorPrefix();
        Qprintf(ConsoleStdError(), L"Bad width value: \"%s\"\r\n", arg);
        return Stop(ExitBadOption);
    }
    if (width != 0 && (width < MinTxtWidth || width > MaxTxtWidth)) {
        PrintErrorPrefix();
        Qprintf(ConsoleStdError(), L"Width must be %u to %u: %u\r\n", MinTxtWidth, MaxTxtWidth,
                width);
        return Stop(ExitNoName);
    }
    options.width = width;
    options.autoWidth = false;
    return Proceed;
}

ParseResult ReadArgument(int index, DnsOptions& options) {
    wchar_t* arg = ArgVector[index];
    if (arg == nullptr) return Proceed;

    if (arg[0] == L'/' && arg[1] == L'?')
        return Stop(PrintCommandHelp(DnsHelpText, arg[2] == L'?'));
    if (arg[0] == L'/' && arg[1] == L'$' && arg[2] == L'\0') {
        options.trace = true;
    } else if (IsOption(arg, L"/A")) {
        options.flags |= AsciiOnly;
    } else if (IsOption(arg, L"/K")) {
        options.flags |= ShowSummary;
    } else if (StartsWithOption(arg, L"/N")) {
        return ReadDisableLetters(arg, options);
    } else if (StartsWithOption(arg, L"/P")) {
        if (ParsePageOption(arg, &options.pageLines) != 0) return Stop(ExitBadOption);
    } else if (IsOption(arg, L"/S")) {
        options.flags |= SortRecords;
    } else if (IsOption(arg, L"/W")) {
        options.autoWidth = true;
    } else if (StartsWithOption(arg, L"/W")) {
        return ReadWidth(arg, options);
    } else if (arg[0] == L'/') {
        UpperCaseAscii(arg);
        PrintErrorPrefix();
        Qprintf(ConsoleStdError(), L"Unknown option: \"%s\"\r\n", arg);
        return Stop(ExitBadOption);
    } else if (options.firstPositional < 0) {
        options.firstPositional = index;
    } else {
        ++options.namesAfterFirst;
    }
    return Proceed;
}

int ReportNoName() {
    PrintErrorPrefix();
    Qprintf(ConsoleStdError(), L"Must specify at least one name to look up\r\n");
    return ExitNoName;
}

bool StdoutIsConsole() {
    uint32_t mode = ConsoleModeUnset;
    return ConsoleGetMode(ConsoleStdOutput(), &mode) && mode != ConsoleModeUnset;
}

uint32_t AutomaticWidth() {
    ConsoleScreenInfo info{};
    if (!ConsoleGetScreenInfo(ConsoleStdOutput(), &info)) return FallbackTxtWidth;
    int columns = info.Right - info.Left + 1;
    if (columns < MinAutoWidth || columns > MaxAutoWidth) return FallbackTxtWidth;
    return static_cast<uint32_t>(columns - 1);
}

ServerList* ServersFor(const SockAddr4& server, bool trace) {
    if (server.sin_family == AF_INET && server.sin_addr.s_addr != 0) {
        uint32_t address = server.sin_addr.s_addr;
        return BuildServerList(&address, 1, trace);
    }
    return BuildServerList(nullptr, 0, trace);
}

} // namespace

extern "C" int dns(const wchar_t* arguments) {
    if (arguments == nullptr) return ExitBadOption;

    PageLines = 0;
    LinesLeft = 0;
    PauseTime = 0;
    BreakFlag.store(0);

    SplitArguments(arguments, ARG_SPLIT_BLANKS | ARG_SPLIT_SWITCHES);
    if (ArgCount < 1) return ReportNoName();

    DnsOptions options;
    for (int i = 0; i < ArgCount; ++i) {
        ParseResult result = ReadArgument(i, options);
        if (!result.proceed) return result.exitCode;
    }

    if (options.firstPositional < 0) return ReportNoName();
    SockAddr4 server{};
    int serverIndex = -1; // the position of the server text, which is no name
    if (options.namesAfterFirst == 0) {
        options.flags |= NoNameLine; // one name, default servers
    } else {
        serverIndex = options.firstPositional;
        ResolveServerName(ArgVector[serverIndex], &server);
        if (options.namesAfterFirst == 1) options.flags |= NoNameLine;
    }

    if (!StdoutIsConsole()) options.flags |= AsciiOnly;
    if (options.autoWidth) options.width = AutomaticWidth();
    if (options.pageLines != 0) SetPageLength(options.pageLines);
    LoadHighlightSetting(options.highlightOff ? 1 : 0);

    ServerList* servers = ServersFor(server, options.trace);
    InstallBreakHandler();

    std::array<const wchar_t*, MAX_ARGS> names{};
    size_t nameCount = 0;
    for (int i = 0; i < ArgCount; ++i) {
        const wchar_t* name = ArgVector[i];
        if (i != serverIndex && name != nullptr && name[0] != L'/') names[nameCount++] = name;
    }
    int result = LookupNames(servers, names.data(), nameCount, options.flags, options.width);

    if (servers != nullptr) FreeServerList(servers);
    RemoveBreakHandler();

    // A failed query of any name, or a failed output of the last one.
    if (result == OutputBreak) return ExitBroken;
    return result != 0 ? ExitOutputFailed : ExitDone;
}
