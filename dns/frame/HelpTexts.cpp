// The commands' help texts, the host's Help and Usage exports, and "/?" help with its banner.
#include "dns/frame/HelpTexts.h"

#include <array>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <new>

#include "dns/frame/BaseName.h"
#include "dns/frame/HostApi.h"
#include "dns/frame/ModuleVersion.h"
#include "dns/frame/Plugin.h"
#include "platform/system/UserInterface.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Text.h"

// Only the first line ends in "\r\n"; several lines end in a blank. Both are intended.
const wchar_t DnsHelpText[] = L"Display DNS records for a domain or host.\r\n"
                              L"\n"
                              L"DNS /K /N: /P /S /W server name...\n"
                              L"\n"
                              L"\t/K\tshow the number of records returned\n"
                              L"\t/N:\tdisable features:\n"
                              L"\t\t  C - disable highlight\n"
                              L"\t\t  H - do not show headers\n"
                              L"\t\t  N - do not show names in headers\n"
                              L"\t/P\tpage output\n"
                              L"\t/S\tsort records of the same type\n"
                              L"\t/W\ttruncate long TXT strings\n"
                              L"\tserver\tthe DNS server to query\n"
                              L"\tname\tthe domain or host to request info on \n"
                              L"\n"
                              L"You must provide the server and at least one name.  If you \n"
                              L"specify * for the server, DNS will use your default DNS\n"
                              L"servers.  You may specify more than one name to look up.\n";

const wchar_t RdnsHelpText[] = L"Perform a reverse DNS lookup.\r\n"
                               L"\n"
                               L"RDNS /A: ipaddr...\n"
                               L"\n"
                               L"\t/A:\tDNS server address\n"
                               L"\tipaddr\tthe IP address to look up\n"
                               L"\n"
                               L"You must give at least one ipaddr to look up.  If you do \n"
                               L"not specify a DNS server, RDNS will use your system\u2019s \n"
                               L"default DNS servers.\n";

const wchar_t DisableFeaturesHelpText[] = L"DNS /N:  \u2014 disable features\n"
                                          L"\n"
                                          L"\tC\tno highlight\n"
                                          L"\tH\tdo not show headers\n"
                                          L"\tN\tno not show names in headers\n";

const wchar_t CommandNames[CommandCount][11] = {L"dns", L"rdns"};
const wchar_t* const CommandHelpTexts[CommandCount] = {DnsHelpText, RdnsHelpText};

// The path of the DNS command's source file, recorded by the build.
extern const char DnsCommandSourcePath[];

namespace {
constexpr size_t HostBufferSize = 1024;
constexpr size_t PathBufferSize = 32768;

// The index of the command called name, or -1.
int FindCommand(const wchar_t* name) {
    if (name == nullptr) return -1;
    for (int i = 0; i < CommandCount; ++i)
        if (SameName(name, CommandNames[i])) return i;
    return -1;
}

} // namespace

int PrintCommandHelp(const wchar_t* text, int showBanner) {
    QPuts(text);
    if (showBanner == 0) return 0;

    Printf(L"\r\n\t\t\t\t%s  %u.%u.%u.%u (%s)\r\n", PluginName, ModuleVersionMajor,
           ModuleVersionMinor, ModuleVersionBuild, ModuleVersionRevision, L"x64");

    // Nothing may be thrown to the host: without memory for the path its name stays empty.
    std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[PathBufferSize]);
    if (path != nullptr) NarrowToWide(DnsCommandSourcePath, path.get(), PathBufferSize);
    std::array<wchar_t, HostBufferSize> version{};
    NarrowToWide("1.0.9.1", version.data(), version.size());
    Printf(L"\t\t\t\t%s  %s\r\n", path != nullptr ? SourceBaseName(path.get()) : L"",
           version.data());
    return 0;
}

extern "C" int Help(const wchar_t* name) {
    wchar_t caption[HostBufferSize] = {};
    FormatSystemText(caption, L"%s Plugin Help", PluginName);
    int command = FindCommand(name);
    if (command < 0) return 0;
    ShowMessageBox(caption, CommandHelpTexts[command]);
    return 1;
}

extern "C" int Usage(const wchar_t* name, wchar_t* out) {
    // Names beginning with '@' or '_' are the host's functions and variables.
    if (name == nullptr || out == nullptr || name[0] == L'@' || name[0] == L'_') return 0;
    int command = FindCommand(name);
    if (command < 0) return 0;

    const wchar_t* usage = std::wcschr(CommandHelpTexts[command], L'\n');
    if (usage == nullptr) usage = L"";
    while (*usage == L'\n')
        ++usage;
    std::wcsncpy(out, usage, HostBufferSize - 1);
    out[HostBufferSize - 1] = L'\0';
    return 1;
}
