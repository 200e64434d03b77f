// The DNS command: options, messages and exit codes; and, once the lookup chain is in place,
// which names reach the resolver and how.
#include <string>

#include "dns/frame/HelpTexts.h"
#include "dns/frame/Plugin.h"
#include "dns/frame/SplitArguments.h"
#include "dns/lookup/LookupFlags.h"
#include "dns/lookup/LookupName.h"
#include "dns/lookup/ServerList.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"
#include "tests/fakes/Records.h"

namespace {

const std::wstring Prefix = L"DNS plugin: ";
const std::wstring NoName = Prefix + L"Must specify at least one name to look up\r\n";

struct OptionCase {
    const wchar_t* line;
    int exitCode;
    std::wstring err;
};

const OptionCase OptionErrors[] = {
    {L"", -1, NoName},
    {L"   ", -1, NoName},
    {L"\"\"", -1, NoName},
    {L"/K /S", -1, NoName},
    {L"/k/s/a/$", -1, NoName},
    {L"/sort", 1, Prefix + L"Unknown option: \"/SORT\"\r\n"},
    {L"a.test /x /?", 1, Prefix + L"Unknown option: \"/X\"\r\n"},
    {L"/k/q", 1, Prefix + L"Unknown option: \"/Q\"\r\n"},
    {L"/$$", 1, Prefix + L"Unknown option: \"/$$\"\r\n"},
    {L"/n:x", 1, Prefix + L"Unknown suboption: /N:X\r\n"},
    {L"/N=cq a.test", 1, Prefix + L"Unknown suboption: /N:Q\r\n"},
    {L"/N:x?", 1, Prefix + L"Unknown suboption: /N:X\r\n"},
    {L"/N::", 1, Prefix + L"Unknown suboption: /N::\r\n"},
    {L"/W:39", -1, Prefix + L"Width must be 40 to 240: 39\r\n"},
    {L"/W1 a.test", -1, Prefix + L"Width must be 40 to 240: 1\r\n"},
    {L"/W241", -1, Prefix + L"Width must be 40 to 240: 241\r\n"},
    {L"/W=0x10", -1, Prefix + L"Width must be 40 to 240: 16\r\n"},
    {L"/Wabc", 1, Prefix + L"Bad width value: \"/WABC\"\r\n"},
    {L"/w:-5", 1, Prefix + L"Bad width value: \"/W:-5\"\r\n"},
    {L"/w:80x", 1, Prefix + L"Bad width value: \"/W:80X\"\r\n"},
    {L"/w:", 1, Prefix + L"Bad width value: \"/W:\"\r\n"},
    {L"/w::80", 1, Prefix + L"Bad width value: \"/W::80\"\r\n"},
    {L"/W:4294967296", 1, Prefix + L"Bad width value: \"/W:4294967296\"\r\n"},
};

class DnsOptionTest : public FakeWorldTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(DnsOptionTest, FailsBeforeAnyOutput) {
    const OptionCase& c = GetParam();
    EXPECT_EQ(dns(c.line), c.exitCode);
    EXPECT_EQ(fake::Err, c.err);
    EXPECT_EQ(fake::Out, L"");
    EXPECT_TRUE(fake::Queries.empty());
    EXPECT_EQ(fake::CtrlHandlerCalls, 0);
}
INSTANTIATE_TEST_SUITE_P(Errors, DnsOptionTest, ::testing::ValuesIn(OptionErrors));

class DnsCommandTest : public FakeWorldTest {};

TEST_F(DnsCommandTest, NoArgumentText) {
    EXPECT_EQ(dns(nullptr), 1);
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(DnsCommandTest, ClearsThePagerAndTheBreakFlagFirst) {
    PageLines = 7;
    LinesLeft = 3;
    PauseTime = 9;
    BreakFlag = 1;
    EXPECT_EQ(dns(L"/sort"), 1);
    EXPECT_EQ(PageLines, 0u);
    EXPECT_EQ(LinesLeft, 0u);
    EXPECT_EQ(PauseTime, 0u);
    EXPECT_EQ(BreakFlag.load(), 0);
}

struct HelpCase {
    const wchar_t* line;
    std::wstring out;
};

const std::wstring Banner = L"\r\n\t\t\t\tDNS  1.0.9.2 (x64)\r\n\t\t\t\tDnsCmd.cpp  1.0.9.1\r\n";

class DnsHelpTest : public FakeWorldTest, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(DnsHelpTest, ShowsHelpAndSucceeds) {
    EXPECT_EQ(dns(GetParam().line), 0);
    EXPECT_EQ(fake::Out, GetParam().out);
    EXPECT_EQ(fake::Err, L"");
    EXPECT_TRUE(fake::Queries.empty());
}
INSTANTIATE_TEST_SUITE_P(
    Help, DnsHelpTest,
    ::testing::Values(HelpCase{L"/?", DnsHelpText}, HelpCase{L"/? /x", DnsHelpText},
                      HelpCase{L"a.test /?x", DnsHelpText},
                      HelpCase{L"/??", std::wstring(DnsHelpText) + Banner},
                      HelpCase{L"/N:?", DisableFeaturesHelpText},
                      HelpCase{L"/n=c?", DisableFeaturesHelpText},
                      HelpCase{L"/N:?x", DisableFeaturesHelpText},
                      HelpCase{L"/N /N: /N:? /sort", DisableFeaturesHelpText}));

// ---- Lines that reach the lookups ----
// These need the lookup chain and the server list of the other parts of the module; until those
// are in place the tests skip. Highlighted text goes straight to the console, so names and
// closing lines are looked for on the whole screen.

// The pager state is module-wide; a probe outside a command must not meet a page prompt.
void PagerOff() {
    PageLines = 0;
    LinesLeft = 0;
    PauseTime = 0;
}

bool LookupChainReady() {
    fake::Reset();
    PagerOff();
    LookupName(nullptr, L"probe.test", NoNameLine, 0);
    bool ready = !fake::Queries.empty();
    fake::Reset();
    return ready;
}

bool ServerListReady() {
    uint32_t address = 0x0100007F;
    ServerList* list = BuildServerList(&address, 1, false);
    if (list == nullptr) return false;
    FreeServerList(list);
    return true;
}

uint32_t Address(const char* dotted) {
    uint32_t address = 0;
    inet_pton(AF_INET, dotted, &address);
    return address;
}

class DnsLookupTest : public FakeWorldTest {
  protected:
    void SetUp() override {
        if (!LookupChainReady()) GTEST_SKIP() << "lookup chain not in place yet";
        FakeWorldTest::SetUp();
    }
    std::vector<std::wstring> QueriedNames() const {
        std::vector<std::wstring> names;
        for (const fake::Query& q : fake::Queries)
            if (names.empty() || names.back() != q.name) names.push_back(q.name);
        return names;
    }
};

TEST_F(DnsLookupTest, OneNameUsesTheDefaultServersWithoutANameLine) {
    EXPECT_EQ(dns(L"a.test"), 0);
    EXPECT_EQ(QueriedNames(), std::vector<std::wstring>{L"a.test"});
    EXPECT_EQ(fake::Screen.find(L"A.TEST"), std::wstring::npos);
    EXPECT_NE(fake::Screen.find(L"No records found."), std::wstring::npos);
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(DnsLookupTest, StarAndTwoNamesGiveNameLines) {
    EXPECT_EQ(dns(L"* a.test b.test"), 0);
    EXPECT_EQ(QueriedNames(), (std::vector<std::wstring>{L"a.test", L"b.test"}));
    EXPECT_NE(fake::Screen.find(L"A.TEST"), std::wstring::npos);
    EXPECT_NE(fake::Screen.find(L"B.TEST"), std::wstring::npos);
}

TEST_F(DnsLookupTest, ServerAndOneNameHasNoNameLine) {
    EXPECT_EQ(dns(L"ns.test a.test"), 0);
    EXPECT_EQ(QueriedNames(), std::vector<std::wstring>{L"a.test"});
    EXPECT_EQ(fake::Screen.find(L"A.TEST"), std::wstring::npos);
    EXPECT_EQ(std::wstring(ArgVector[0]), L"ns.test") << "the arguments are left as split";
}

TEST_F(DnsLookupTest, ServerAddressGoesToEveryQuery) {
    if (!ServerListReady()) GTEST_SKIP() << "server list not in place yet";
    fake::HostAddresses[L"ns.test"] = {"192.0.2.53", "192.0.2.54"};
    fake::ConfiguredServers = {"198.51.100.1"};
    EXPECT_EQ(dns(L"ns.test a.test b.test"), 0);
    ASSERT_FALSE(fake::Queries.empty());
    for (const fake::Query& q : fake::Queries) {
        EXPECT_TRUE(q.withServers);
        EXPECT_EQ(q.servers, std::vector<uint32_t>{Address("192.0.2.53")});
    }
}

TEST_F(DnsLookupTest, TraceShowsTheServerBeforeAnyOutput) {
    if (!ServerListReady()) GTEST_SKIP() << "server list not in place yet";
    fake::HostAddresses[L"ns.test"] = {"192.0.2.53"};
    EXPECT_EQ(dns(L"ns.test a.test /$"), 0);
    EXPECT_EQ(fake::Out.find(L"   *  DnsServers[0] = 192.0.2.53\r\n"), 0u);
    EXPECT_EQ(fake::Out.find(L"DnsServers[1]"), std::wstring::npos);
}

TEST_F(DnsLookupTest, UnresolvableServerFallsBackToTheDefaults) {
    if (!ServerListReady()) GTEST_SKIP() << "server list not in place yet";
    fake::ConfiguredServers = {"198.51.100.1"};
    EXPECT_EQ(dns(L"-P a.test"), 0) << "-P is no option";
    ASSERT_FALSE(fake::Queries.empty());
    EXPECT_EQ(fake::Queries[0].servers, std::vector<uint32_t>{Address("198.51.100.1")});
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(DnsLookupTest, OptionsAfterTheNamesStillApply) {
    fake::Answers[{L"a.test", 1}] = fake::Reply{0, {fake::A("192.0.2.1")}};
    EXPECT_EQ(dns(L"* a.test /K"), 0);
    EXPECT_NE(fake::Screen.find(L"  1 record  found   "), std::wstring::npos);
}

TEST_F(DnsLookupTest, RedirectedOutputIsAsciiOnly) {
    fake::StdoutIsConsole = false;
    EXPECT_EQ(dns(L"a.test"), 0);
    EXPECT_NE(fake::Out.find(L"-----------------------------------"), std::wstring::npos);
    EXPECT_EQ(fake::Out.find(L"\u2500"), std::wstring::npos);
}

TEST_F(DnsLookupTest, ConsoleOutputDrawsTheUnderline) {
    EXPECT_EQ(dns(L"a.test"), 0);
    EXPECT_NE(fake::Out.find(L"\u2500\u2500\u2500"), std::wstring::npos);
    EXPECT_EQ(dns(L"/a a.test"), 0);
    EXPECT_NE(fake::Out.find(L"-----------------------------------"), std::wstring::npos);
}

TEST_F(DnsLookupTest, NoHeadersOption) {
    EXPECT_EQ(dns(L"/N:H * a.test b.test"), 0);
    EXPECT_EQ(fake::Out.find(L"Type    Field"), std::wstring::npos);
    EXPECT_EQ(fake::Screen.find(L"A.TEST"), std::wstring::npos);
}

TEST_F(DnsLookupTest, HandlerIsRegisteredForTheLookupsOnly) {
    int handlerCallsDuringLookup = -1;
    fake::Answers[{L"a.test", 1}] = fake::Reply{0, {fake::A("192.0.2.1")}};
    EXPECT_EQ(dns(L"a.test"), 0);
    handlerCallsDuringLookup = fake::CtrlHandlerCalls;
    EXPECT_EQ(handlerCallsDuringLookup, 2) << "registered, then removed";
    EXPECT_EQ(fake::CtrlHandler, nullptr);
    EXPECT_EQ(CtrlHandlerInstalled, 0);
}

// The screen a command line produces for one long TXT record and three unsorted A records.
std::wstring ScreenOf(const wchar_t* line, bool console, int16_t right) {
    fake::Reset();
    fake::StdoutIsConsole = console;
    fake::Window.Right = right;
    fake::Answers[{L"t.test", 16}] = fake::Reply{0, {fake::TXT({std::wstring(300, L'x')})}};
    fake::Answers[{L"t.test", 1}] =
        fake::Reply{0, {fake::A("192.0.2.3"), fake::A("192.0.2.1"), fake::A("192.0.2.2")}};
    EXPECT_EQ(dns(line), 0) << ::testing::PrintToString(std::wstring(line));
    return fake::Screen;
}

TEST_F(DnsLookupTest, AutomaticWidthIsTheWindowLessOne) {
    std::wstring automatic = ScreenOf(L"/W t.test", true, 119);
    EXPECT_EQ(automatic, ScreenOf(L"/W:119 t.test", true, 119));
    EXPECT_NE(automatic, ScreenOf(L"t.test", true, 119)) << "the TXT string is cut";
}

TEST_F(DnsLookupTest, AutomaticWidthFallsBackTo100) {
    EXPECT_EQ(ScreenOf(L"/W t.test", false, 119), ScreenOf(L"/W:100 t.test", false, 119))
        << "redirected";
    EXPECT_EQ(ScreenOf(L"/W t.test", true, 20), ScreenOf(L"/W:100 t.test", true, 20))
        << "21 columns";
    EXPECT_EQ(ScreenOf(L"/W t.test", true, 400), ScreenOf(L"/W:100 t.test", true, 400))
        << "401 columns";
    // 22 columns give 21, a width no /W value can name: it only differs from the fallback.
    EXPECT_NE(ScreenOf(L"/W t.test", true, 21), ScreenOf(L"/W:100 t.test", true, 21))
        << "22 columns";
}

TEST_F(DnsLookupTest, LastWidthOptionWins) {
    EXPECT_EQ(ScreenOf(L"/W:60 /W0 t.test", true, 79), ScreenOf(L"t.test", true, 79));
    EXPECT_EQ(ScreenOf(L"/W /W=0o100 t.test", true, 79), ScreenOf(L"/W:64 t.test", true, 79));
}

TEST_F(DnsLookupTest, SortLettersActInOrder) {
    std::wstring unsorted = ScreenOf(L"t.test", true, 79);
    std::wstring sorted = ScreenOf(L"/S t.test", true, 79);
    EXPECT_NE(unsorted, sorted);
    EXPECT_EQ(ScreenOf(L"/S /N:S t.test", true, 79), unsorted);
    EXPECT_EQ(ScreenOf(L"/N:S /S t.test", true, 79), sorted);
}

TEST_F(DnsLookupTest, HighlightOffWritesEverythingToStandardOutput) {
    EXPECT_EQ(dns(L"/N:C * a.test b.test"), 0);
    EXPECT_NE(fake::Out.find(L"A.TEST"), std::wstring::npos);
    EXPECT_TRUE(fake::AttributeChanges.empty());
    EXPECT_EQ(fake::Direct, L"");
}

TEST_F(DnsLookupTest, EscAtThePagePromptStopsTheCommand) {
    bool pagerReady = SetPageLength(3) == 3;
    PagerOff();
    if (!pagerReady) GTEST_SKIP() << "pager not in place yet";
    fake::Answers[{L"a.test", 1}] =
        fake::Reply{0, {fake::A("192.0.2.1"), fake::A("192.0.2.2"), fake::A("192.0.2.3")}};
    fake::Keys = {27};
    int code = dns(L"/P:,3 * a.test b.test c.test");
    if (fake::Direct.empty()) GTEST_SKIP() << "pager not in place yet";
    EXPECT_EQ(code, 3);
    // The later names were asked ahead of the output, but none of them is printed, and what
    // was still in flight has been given up.
    EXPECT_EQ(fake::Screen.find(L"C.TEST"), std::wstring::npos);
    EXPECT_EQ(fake::SessionsOpen, 0);
    EXPECT_EQ(fake::OpenResultLists, 0);
    EXPECT_EQ(CtrlHandlerInstalled, 0);
    EXPECT_EQ(BreakFlag.load(), 0);
    PagerOff();
}

} // namespace
