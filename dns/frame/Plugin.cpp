// The plug-in's description, start-up and shut-down, the console output handle and the
// break handler that turns Ctrl-C into a request to stop the output.
#include "dns/frame/Plugin.h"

#include <array>
#include <cwchar>

#include "dns/frame/HostApi.h"
#include "dns/frame/ModuleVersion.h"
#include "platform/resolver/DnsClient.h"
#include "platform/system/Clock.h"
#include "platform/text/Text.h"

std::atomic<int32_t> BreakFlag{0};
int32_t CtrlHandlerInstalled = 0;
ConsoleHandle ConsoleOutputHandle = nullptr;

namespace {
constexpr int32_t VersionMajor = ModuleVersionMajor;
constexpr int32_t VersionMinor = ModuleVersionMinor;
constexpr int32_t VersionBuild = ModuleVersionBuild;
constexpr char ClverText[] = "1.1.1.2";
constexpr size_t ClverBufferSize = 1024;
constexpr uint32_t ConsoleRetryDelay = 50; // ms before the second attempt to open the console

constexpr uint32_t CtrlCEvent = 0;
constexpr uint32_t CtrlBreakEvent = 1;

PluginInfoRecord PluginInfo;
} // namespace

int BreakHandler(uint32_t event) {
    if (event != CtrlCEvent && event != CtrlBreakEvent) return 0; // close, logoff: pass on
    BreakFlag.store(1);
    return 1;
}

void InstallBreakHandler() {
    BreakFlag.store(0);
    if (CtrlHandlerInstalled != 0) return;
    ConsoleSetCtrlHandler(BreakHandler, true);
    CtrlHandlerInstalled = 1;
}

void RemoveBreakHandler() {
    BreakFlag.store(0);
    if (CtrlHandlerInstalled == 0) return;
    ConsoleSetCtrlHandler(BreakHandler, false);
    CtrlHandlerInstalled = 0;
}

extern "C" PluginInfoRecord* GetPluginInfo() {
    PluginInfo.ModuleName = PluginName;
    PluginInfo.AuthorName = L"Corvane DNS plug-in team";
    PluginInfo.AuthorEmail = L"dns-plugin@corvane.example";
    PluginInfo.AuthorWebPage = L"https://corvane.example/plugins/dns";
    PluginInfo.Description = L"Replacement for the DNS command";
    PluginInfo.CommandList = L"dns,rdns";
    PluginInfo.VersionMajor = VersionMajor;
    PluginInfo.VersionMinor = VersionMinor;
    PluginInfo.VersionBuild = VersionBuild;
    return &PluginInfo;
}

extern "C" int InitializePlugin() {
    // Quiet when the shell is transient, piped, or told so: only "00" shows the message.
    std::array<wchar_t, 1024> buffer{};
    std::wcsncpy(buffer.data(), L"%[_transient]%[_pipe]%[noloadmsg]", buffer.size() - 1);
    ExpandVariables(buffer.data(), 1);
    if (buffer[0] == L'0' && buffer[1] == L'0' && buffer[2] == L'\0')
        Printf(L"%s v%u.%u.%u loaded.\r\n", PluginName, VersionMajor, VersionMinor, VersionBuild);

    // A second initialisation must not leak the handle of the first.
    if (ConsoleOutputHandle != nullptr) ConsoleClose(ConsoleOutputHandle);
    bool absent = false;
    ConsoleOutputHandle = ConsoleOpenOutput(&absent);
    // A console that failed may open a moment later; one that cannot exist never will.
    if (ConsoleOutputHandle == nullptr && !absent) {
        ClockSleep(ConsoleRetryDelay);
        ConsoleOutputHandle = ConsoleOpenOutput();
    }
    return 0;
}

extern "C" int ShutdownPlugin() {
    BreakFlag.store(0);
    if (CtrlHandlerInstalled != 0) {
        ConsoleSetCtrlHandler(BreakHandler, false);
        CtrlHandlerInstalled = 0;
    }
    if (ConsoleOutputHandle != nullptr) ConsoleClose(ConsoleOutputHandle);
    DnsClientShutdown();
    // Reset, so that nothing can reach a closed (and possibly reused) handle afterwards.
    ConsoleOutputHandle = nullptr;
    return 0;
}

extern "C" int _clver$(wchar_t* buffer) {
    if (buffer == nullptr) return -1;
    NarrowToWide(ClverText, buffer, ClverBufferSize);
    return 0;
}
