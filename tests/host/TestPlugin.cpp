// A plug-in for the host's end-to-end tests: it shows what the host passes and how it treats
// exit codes and Ctrl-C, without any network.
#include <chrono>
#include <cwchar>
#include <thread>

#include "sdk/CorvanePlugin.h"

namespace {

PluginInfoRecord Info;

} // namespace

extern "C" {

__attribute__((visibility("default"))) PluginInfoRecord* GetPluginInfo() {
    Info = {L"Probe", L"", L"",     L"",    L"Host test probe", L"ShowArgs,Nap, Fail", 2,
            3,        4,   nullptr, nullptr};
    return &Info;
}

__attribute__((visibility("default"))) int InitializePlugin() {
    Printf(L"Probe initialised\r\n");
    return 0;
}

__attribute__((visibility("default"))) int ShutdownPlugin() {
    Printf(L"Probe shut down\r\n");
    return 0;
}

// Echoes the argument text in brackets; its length is the exit code.
__attribute__((visibility("default"))) int showargs(const wchar_t* arguments) {
    Printf(L"[%s]\r\n", arguments);
    return static_cast<int>(std::wcslen(arguments));
}

// Sleeps for the given number of tenths of a second, then says so.
__attribute__((visibility("default"))) int nap(const wchar_t* arguments) {
    long tenths = std::wcstol(arguments, nullptr, 10);
    Printf(L"napping\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100 * tenths));
    Printf(L"awake\r\n");
    return 0;
}

__attribute__((visibility("default"))) int fail(const wchar_t*) {
    return -2;
}

__attribute__((visibility("default"))) int Usage(const wchar_t* name, wchar_t* out) {
    if (std::wcscmp(name, L"nap") != 0) return 0;
    std::wcscpy(out, L"NAP tenths\r\n");
    return 1;
}
}
