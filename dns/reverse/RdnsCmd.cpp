// The RDNS command: options first, then a reverse lookup of each address in order.
#include <array>
#include <cstdint>

#include "dns/frame/Errors.h"
#include "dns/frame/HelpTexts.h"
#include "dns/frame/HostApi.h"
#include "dns/frame/Plugin.h"
#include "dns/frame/SplitArguments.h"
#include "dns/lookup/ServerList.h"
#include "dns/reverse/ReverseLookup.h"
#include "dns/reverse/ReverseLookups.h"
#include "platform/console/Console.h"
#include "platform/text/SocketTypes.h"

namespace {

// Seven, one short of the list's capacity: the eighth and later distinct addresses are ignored.
constexpr uint32_t MaxServerOptions = 7;

constexpr int ExitUsage = 1;
constexpr int ExitNoArguments = 87;

// The options of one command line.
struct RdnsOptions {
    uint32_t word = 0;
    uint32_t servers[MaxServerOptions] = {};
    uint32_t serverCount = 0;
    int addressCount = 0;
};

bool IsExactly(const wchar_t* arg, const wchar_t* option) {
    for (; *option != L'\0'; ++arg, ++option)
        if (*arg != *option) return false;
    return *arg == L'\0';
}

int Report(const wchar_t* format, const wchar_t* argument = nullptr) {
    PrintErrorPrefix();
    Qprintf(ConsoleStdError(), format, argument);
    return ExitUsage;
}

void AddServer(RdnsOptions& options, uint32_t address) {
    for (uint32_t i = 0; i < options.serverCount; ++i)
        if (options.servers[i] == address) return;
    if (options.serverCount < MaxServerOptions) options.servers[options.serverCount++] = address;
}

// The first pass: every option is checked before any lookup. Returns -1 to go on, else the
// exit code.
int ReadOptions(RdnsOptions& options) {
    for (int i = 0; i < ArgCount; ++i) {
        wchar_t* arg = ArgVector[i];
        if (arg == nullptr) continue;
        if (arg[0] == L'/' && arg[1] == L'?') return PrintCommandHelp(RdnsHelpText, arg[2] == L'?');
        // The split upper-cased every argument, so the options need one case only.
        if (IsExactly(arg, L"/$")) {
            options.word |= ReverseTrace;
        } else if (arg[0] == L'/' && arg[1] == L'A') {
            const wchar_t* text = arg + 2;
            if (*text == L':' || *text == L'=') ++text;
            uint32_t address = 0;
            SockAddr6 unused{};
            if (ParseAddress(text, &address, &unused) != AddressIsV4)
                return Report(L"Bad IP address: \"%s\"\r\n", arg);
            AddServer(options, address);
        } else if (IsExactly(arg, L"/M")) {
            options.word |= ReverseAllNames;
        } else if (arg[0] == L'/') {
            return Report(L"Unknown option: \"%s\"\r\n", arg);
        } else {
            ++options.addressCount;
        }
    }
    return -1;
}

} // namespace

extern "C" int rdns(const wchar_t* arguments) {
    if (arguments == nullptr) return ExitNoArguments;

    SplitArguments(arguments, ARG_SPLIT_BLANKS | ARG_SPLIT_SWITCHES | ARG_UPPER_CASE);
    if (ArgCount < 1) return Report(L"Missing ipaddr\r\n");

    RdnsOptions options;
    int early = ReadOptions(options);
    if (early >= 0) return early;
    if (options.addressCount == 0) return Report(L"Missing ipaddr\r\n");

    ServerList* servers = BuildServerList(options.serverCount != 0 ? options.servers : nullptr,
                                          options.serverCount, (options.word & ReverseTrace) != 0);

    std::array<const wchar_t*, MAX_ARGS> addresses{};
    size_t addressCount = 0;
    for (int i = 0; i < ArgCount; ++i) {
        const wchar_t* arg = ArgVector[i];
        if (arg != nullptr && arg[0] != L'/') addresses[addressCount++] = arg;
    }
    int result = ReverseLookupAll(servers, addresses.data(), addressCount, options.word);

    if (servers != nullptr) FreeServerList(servers);
    return result;
}
