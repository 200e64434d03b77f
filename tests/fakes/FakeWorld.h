// Fakes of the host services and the platform layer for unit tests: every call is recorded
// here and every answer is scripted here. Reset() before each test (FakeWorldTest does it).
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/console/Console.h"
#include "platform/resolver/DnsClient.h"
#include "platform/system/Settings.h"
#include "platform/text/SocketTypes.h"

namespace fake {

// ---- Host services ----
extern std::wstring Out; // host standard output: Printf and QPuts, in order
extern std::wstring Err; // Qprintf on the standard error handle
// Everything that reaches the screen, in order: host standard output, direct console writes,
// and "<XX>" (two hex digits) for every console attribute change.
extern std::wstring Screen;
extern std::map<std::wstring, std::wstring> Variables; // "_batch" -> "0", "_transient" -> "0"
extern int HostAttribute;                              // what GetAttribute reports
extern std::vector<int> ColorsSet;                     // SetColors calls
extern int TtyYields;
// ParseColors: by default returns the pair recorded here for the text, else (-1, -1).
extern std::map<std::wstring, std::pair<int, int>> ColorNames;

// ---- Console ----
extern bool StdoutIsConsole;           // ConsoleGetMode on standard output succeeds
extern bool ScreenInfoFails;           // ConsoleGetScreenInfo fails
extern ConsoleScreenInfo Window;       // window rectangle and attribute
extern bool ConsoleDeviceOpens;        // ConsoleOpenOutput succeeds
extern bool ConsoleAbsent;             // ... and when not, says no console can exist
extern std::wstring Direct;            // text written straight to the console
extern std::function<void()> OnDirect; // runs after every direct write
extern std::vector<uint16_t> AttributeChanges;
extern std::deque<int> Keys;           // scripted key codes; ConsoleKeyHit is true while any remain
extern ConsoleCtrlHandler CtrlHandler; // registered handler, or null
extern int CtrlHandlerCalls;           // ConsoleSetCtrlHandler calls
extern std::function<void()> OnSleep;  // runs on every ClockSleep (after the clock advanced)

// ---- Clock ----
extern uint64_t SystemTime; // 100 ns units
extern uint32_t Ticks;      // ms; ClockSleep advances both

// ---- Settings ----
extern std::map<std::wstring, std::wstring> Environment;
struct RegistryValue {
    uint32_t type;
    std::wstring text;
};
extern std::map<std::tuple<SettingsRoot, std::wstring, std::wstring>, RegistryValue> Registry;

// ---- Resolver ----
struct Record {
    uint16_t type = 0;
    uint32_t a = 0;                    // A, network order
    std::array<uint8_t, 16> bytes{};   // AAAA address, LOC data
    std::wstring host;                 // NS, CNAME, PTR, MX exchange, SOA primary
    std::wstring admin;                // SOA administrator
    uint16_t preference = 0;           // MX
    std::array<uint32_t, 5> soa{};     // serial, refresh, retry, expire, minimum
    std::vector<std::wstring> strings; // TXT
};
struct Reply {
    int32_t status = 0;
    std::vector<Record> records;
};
struct Query {
    std::wstring name;
    uint16_t type;
    uint32_t options;
    bool withServers;
    std::vector<uint32_t> servers;
};
// Answers by (name, type); a query without an entry gets status 9003 (name does not exist).
extern std::map<std::pair<std::wstring, uint16_t>, Reply> Answers;
extern std::vector<Query> Queries;
extern int OpenResultLists; // lists given out and not yet freed
extern int ClientShutdowns; // DnsClientShutdown calls

// DNS sessions: every submitted query is recorded in Queries too and answered from Answers
// when it completes. A query completes at the clock time of its submission plus its latency
// (LatencyMs by name and type, default 0); a muted one never does. DnsSessionWait hands back
// the queries that are due, the last submitted first, and when none is due moves the clock on
// to the next one (by the wait's time-out at most).
extern std::map<std::pair<std::wstring, uint16_t>, uint32_t> LatencyMs;
extern std::set<std::pair<std::wstring, uint16_t>> Muted;
extern std::set<std::wstring> Unsendable;    // names DnsSessionSubmit refuses (status 123)
extern size_t InFlight;                      // submitted, not handed back, session open
extern size_t MaxInFlight;                   // the most at any time
extern int SessionsOpen;                     // opened and not closed
extern std::vector<uint32_t> SessionOptions; // the options of every session opened
extern std::function<void()> OnWait;         // runs at the start of every DnsSessionWait

// An IPv4 address in network byte order from its four octets.
uint32_t Ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// Record builders.
Record A(const char* dotted);
Record AAAA(std::array<uint8_t, 16> address);
Record Named(uint16_t type, std::wstring host); // NS, CNAME, PTR
Record MX(uint16_t preference, std::wstring exchange);
Record SOA(std::wstring primary, std::wstring admin, std::array<uint32_t, 5> numbers);
Record TXT(std::vector<std::wstring> strings);
Record LOC(uint32_t latitude, uint32_t longitude, uint32_t altitude); // host order values

// ---- System name resolution and configured servers ----
// getaddrinfo answers by name: the IPv4 addresses (dotted) in order; a missing name fails.
extern std::map<std::wstring, std::vector<std::string>> HostAddresses;
// The configured DNS server texts; NetworkFails makes the configuration unreadable.
extern std::vector<std::string> ConfiguredServers;
extern bool NetworkFails;

// ---- System message texts ----
// SystemMessageText answers from here: by default the texts the tests use, each ending in
// "\r\n" like the system's; a text that does not fit the buffer is no text.
extern std::map<uint32_t, std::wstring> MessageTexts;

// ---- User interface ----
extern std::vector<std::pair<std::wstring, std::wstring>> MessageBoxes; // caption, text

void Reset();

} // namespace fake

// Resets the module's own module-wide state (pager, colour slots, break flag), so that a test
// never inherits a page count or a pending break from the one before it.
void ResetModuleState();

// Base fixture: resets the fake world and the module's state before every test.
class FakeWorldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        ResetModuleState();
    }
};
