// Dns.dll loaded, used and unloaded again and again on one thread, as a host that loads and
// unloads plug-ins does: every cycle must give back every handle it took. A cycle looks up a
// name and an address at the loopback server of scripts/test.sh (DNS_E2E_SERVER); skipped
// without it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int Cycles = 5;

// One row of the system's handle table (SystemExtendedHandleInformation).
struct HandleEntry {
    PVOID object;
    ULONG_PTR process;
    ULONG_PTR handle;
    ULONG access;
    USHORT backTrace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
};
struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};
constexpr ULONG SystemExtendedHandleInformation = 64;
constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

// The handles this process holds, from the system's handle table: wine answers
// GetProcessHandleCount with 0. -1 when the table cannot be read.
long HandleCount() {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    std::vector<char> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(SystemExtendedHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), &needed)) == InfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return -1;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    long count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i)
        count += table->entries[i].process == GetCurrentProcessId();
    return count;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1) + L"Dns.dll";
}

std::wstring Widen(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

class PluginCycles : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* server = std::getenv("DNS_E2E_SERVER");
        if (server == nullptr || server[0] == '\0')
            GTEST_SKIP() << "DNS_E2E_SERVER is not set: run through scripts/test.sh";
        this->server = Widen(server);
        // The commands' output goes to NUL, opened before the first count.
        output = GetStdHandle(STD_OUTPUT_HANDLE);
        null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        ASSERT_NE(null, INVALID_HANDLE_VALUE);
        SetStdHandle(STD_OUTPUT_HANDLE, null);
    }
    void TearDown() override {
        if (null == nullptr) return;
        SetStdHandle(STD_OUTPUT_HANDLE, output);
        CloseHandle(null);
    }

    // Load, InitializePlugin, a DNS and an RDNS lookup, ShutdownPlugin, unload.
    void Cycle() {
        HMODULE module = LoadLibraryW(ModulePath().c_str());
        ASSERT_NE(module, nullptr) << "Dns.dll does not load: error " << GetLastError();
        using Lifecycle = int (*)();
        using Command = int (*)(const wchar_t*);
        auto entry = [&](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(module, name));
        };
        auto initialize = reinterpret_cast<Lifecycle>(entry("InitializePlugin"));
        auto shutdown = reinterpret_cast<Lifecycle>(entry("ShutdownPlugin"));
        auto dns = reinterpret_cast<Command>(entry("dns"));
        auto rdns = reinterpret_cast<Command>(entry("rdns"));
        ASSERT_TRUE(initialize && shutdown && dns && rdns);
        initialize();
        // A name without a LOC record: wine fails the LOC query of one that has it (9004, see
        // tests/e2e/e2e_common.py), and that is reported with exit code 2.
        EXPECT_EQ(dns((L"/K " + server + L" multi.e2e.test").c_str()), 0);
        EXPECT_EQ(rdns((L"/A:" + server + L" 192.0.2.1").c_str()), 0);
        shutdown();
        ASSERT_TRUE(FreeLibrary(module));
    }

    std::wstring server;
    HANDLE output = nullptr;
    HANDLE null = nullptr;
};

// The first cycle may keep what lives as long as the process (the socket library, the system
// DLLs' own state); from then on the count stays where it is.
TEST_F(PluginCycles, EveryCycleGivesBackItsHandles) {
    Cycle();
    long before = HandleCount();
    ASSERT_GT(before, 0) << "the system's handle table cannot be read";
    std::vector<long> after;
    for (int i = 0; i < Cycles; ++i) {
        Cycle();
        after.push_back(HandleCount());
    }
    EXPECT_EQ(after, std::vector<long>(Cycles, before)) << "handles before: " << before;
}

} // namespace
