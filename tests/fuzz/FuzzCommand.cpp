// Fuzzes the two commands end to end against the fake world: the input, as UTF-8, is the
// argument line of DNS and then of RDNS. The fake resolver knows a few names with every
// record type (x.test, y.test and one reverse name) and answers everything else with "name
// does not exist"; a page prompt gets a key after every sleep, so that no run can wait forever.
// After each command every result list must be freed and the break handler removed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dns/frame/Plugin.h"
#include "platform/text/Text.h"
#include "tests/fakes/FakeWorld.h"

namespace {

constexpr uint16_t TypeA = 1, TypeNs = 2, TypeCname = 5, TypeSoa = 6, TypePtr = 12, TypeMx = 15,
                   TypeTxt = 16, TypeAaaa = 28, TypeLoc = 29;

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_command: broken invariant: %s\n", what);
    std::abort();
}

void ScriptWorld() {
    fake::Reset();
    for (const wchar_t* name : {L"x.test", L"y.test"}) {
        fake::Answers[{name, TypeA}] = {0, {fake::A("192.0.2.1"), fake::A("192.0.2.10")}};
        fake::Answers[{name, TypeAaaa}] = {
            0, {fake::AAAA({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})}};
        fake::Answers[{name, TypeNs}] = {0, {fake::Named(TypeNs, L"ns.test")}};
        fake::Answers[{name, TypeCname}] = {0, {fake::Named(TypeCname, L"alias.test")}};
        fake::Answers[{name, TypeSoa}] = {
            0, {fake::SOA(L"ns.test", L"admin.test", {2024010101, 3600, 600, 86400, 300})}};
        fake::Answers[{name, TypeMx}] = {0, {fake::MX(20, L"mx2.test"), fake::MX(10, L"mx1.test")}};
        fake::Answers[{name, TypeTxt}] = {
            0,
            {fake::TXT({L"v=spf1 -all", std::wstring(300, L'w') + L" tail"}),
             fake::TXT({L"\x11marked\x16 \u00e9\u4e2d", L""}), fake::TXT({})}};
        fake::Answers[{name, TypeLoc}] = {0, {fake::LOC(0x80000000u + 3600000, 0x7FFFFFFF, 0)}};
    }
    fake::Answers[{L"y.test", TypeA}] = {9002, {}};
    fake::Answers[{L"1.2.0.192.in-addr.arpa", TypePtr}] = {
        0, {fake::Named(TypePtr, L"host.test"), fake::Named(TypePtr, L"other.test")}};
    fake::HostAddresses[L"ns.test"] = {"192.0.2.53"};
    fake::ConfiguredServers = {"198.51.100.1"};
    // Every sleep of a key wait brings the next key: blank, half page, five lines, all, Esc.
    fake::OnSleep = [next = 0]() mutable {
        static constexpr int Keys[] = {' ', '/', '5', 'a', 27};
        fake::Keys.push_back(Keys[next++ % 5]);
    };
}

void CheckAfterCommand() {
    Check(fake::OpenResultLists == 0, "every result list is freed");
    Check(fake::CtrlHandler == nullptr, "the break handler is removed");
    Check(BreakFlag == 0, "the break flag is cleared");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (fake::Reset(), InitializePlugin(), true);
    (void)ready;
    std::wstring line = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    line = line.substr(0, line.find(L'\0'));

    ScriptWorld();
    int code = dns(line.c_str());
    Check(code == 0 || code == 1 || code == 2 || code == 3 || code == -1, "DNS exit codes");
    CheckAfterCommand();

    ScriptWorld();
    code = rdns(line.c_str());
    Check(code == 0 || code == 1 || code == 2, "RDNS exit codes");
    CheckAfterCommand();
    return 0;
}
