// The names of one DNS command in flight together: the output is what one query at a time
// gives, the window bounds what is in flight, the SOA walk chooses as the loop would, a break
// while waiting ends the command, and the page prompt lets answers come in.
#include <set>
#include <string>
#include <vector>

#include "dns/frame/Plugin.h"
#include "dns/lookup/LookupOrder.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"

namespace {

constexpr uint16_t A = 1, NS = 2, CNAME = 5, SOA = 6, PTR = 12, MX = 15, TXT = 16, AAAA = 28;

class LookupNamesTest : public FakeWorldTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(fake::OpenResultLists, 0);
        EXPECT_EQ(fake::SessionsOpen, 0);
    }
    static void OneAtATime(bool on) {
        if (on)
            fake::Environment[OneAtATimeVariable] = L"1";
        else
            fake::Environment.erase(OneAtATimeVariable);
    }
    // A world of names with every kind of answer.
    static void ScriptZone() {
        fake::Answers[{L"www.example.test", A}] = {0, {fake::A("192.0.2.1"), fake::A("192.0.2.0")}};
        fake::Answers[{L"www.example.test", AAAA}] = {0, {fake::AAAA({0x20, 1, 0x0d, 0xb8})}};
        fake::Answers[{L"example.test", SOA}] = {0, {fake::SOA(L"ns.example.test", L"h", {1})}};
        fake::Answers[{L"example.test", NS}] = {
            0, {fake::Named(NS, L"b.ns.test"), fake::Named(NS, L"a.ns.test")}};
        fake::Answers[{L"example.test", MX}] = {
            0, {fake::MX(20, L"mx2.example.test"), fake::MX(10, L"mx1.example.test")}};
        fake::Answers[{L"alias.example.test", A}] = {
            0, {fake::Named(CNAME, L"www.example.test"), fake::A("192.0.2.1")}};
        fake::Answers[{L"alias.example.test", CNAME}] = {0,
                                                         {fake::Named(CNAME, L"www.example.test")}};
        fake::Answers[{L"t.example.test", TXT}] = {0, {fake::TXT({L"b"}), fake::TXT({L"a", L"z"})}};
        fake::Answers[{L"1.2.0.192.in-addr.arpa", PTR}] = {0, {fake::Named(PTR, L"host.test")}};
        fake::Answers[{L"2.0.192.in-addr.arpa", SOA}] = {0, {fake::SOA(L"ns", L"rev", {2})}};
        fake::Answers[{L"refused.test", A}] = {5, {}};
        // Answers come back in an order of their own.
        fake::LatencyMs[{L"www.example.test", A}] = 30;
        fake::LatencyMs[{L"example.test", SOA}] = 5;
        fake::LatencyMs[{L"alias.example.test", CNAME}] = 50;
        fake::LatencyMs[{L"t.example.test", TXT}] = 1;
    }
    static std::wstring Run(const std::wstring& line) {
        fake::Screen.clear();
        fake::Err.clear();
        int code = dns(line.c_str());
        return std::to_wstring(code) + L"|" + fake::Screen + L"|" + fake::Err;
    }
};

const wchar_t* const ZoneNames =
    L"www.example.test alias.example.test example.test t.example.test nothing.test "
    L"1.2.0.192.in-addr.arpa refused.test a..b.test";

// The summary lines with their times taken out: only the network time may differ.
std::wstring WithoutTimes(std::wstring text) {
    const std::wstring found = L"found   ";
    for (size_t at = text.find(found); at != std::wstring::npos; at = text.find(found, at)) {
        at += found.size();
        size_t end = text.find(L'\r', at);
        text.replace(at, end - at, L"TIME");
    }
    return text;
}

TEST_F(LookupNamesTest, OutputIsWhatOneQueryAtATimeGives) {
    for (const wchar_t* options : {L"* ", L"/S * ", L"/K /S * ", L"/N:H * ", L"/N:C /A * "}) {
        std::wstring line = std::wstring(options) + ZoneNames;
        fake::Reset();
        ScriptZone();
        OneAtATime(true);
        std::wstring sequential = Run(line);
        size_t sequentialQueries = fake::Queries.size();
        fake::Reset();
        ScriptZone();
        std::wstring pipelined = Run(line);
        EXPECT_EQ(WithoutTimes(pipelined), WithoutTimes(sequential)) << line;
        EXPECT_GT(fake::Queries.size(), sequentialQueries) << "the walk's parents are asked too";
        EXPECT_EQ(fake::SessionOptions, std::vector<uint32_t>{0x48u});
    }
}

TEST_F(LookupNamesTest, EveryQueryOfANameGoesOutAtOnce) {
    std::vector<std::pair<std::wstring, uint16_t>> beforeFirstWait;
    fake::OnWait = [&] {
        if (beforeFirstWait.empty())
            for (const fake::Query& q : fake::Queries)
                beforeFirstWait.emplace_back(q.name, q.type);
    };
    for (uint16_t type : {A, AAAA, CNAME, NS, SOA, MX, TXT, uint16_t(29)})
        fake::LatencyMs[{L"a.b.example.test", type}] = 100;
    fake::LatencyMs[{L"b.example.test", SOA}] = 100;
    fake::LatencyMs[{L"example.test", SOA}] = 100;
    fake::Answers[{L"a.b.example.test", A}] = {0, {fake::A("192.0.2.1")}};
    EXPECT_EQ(dns(L"/K a.b.example.test"), 0);
    EXPECT_EQ(beforeFirstWait.size(), 10u) << "eight types and three names of the SOA walk";
    EXPECT_NE(fake::Screen.find(L"  1 record  found   0:00.100"), std::wstring::npos)
        << "one round trip, not ten";
}

TEST_F(LookupNamesTest, TheFirstNameOfTheWalkWithRecordsWins) {
    // The parent answers first; the name nearer to the one asked still wins, as the loop
    // would have stopped there.
    fake::Answers[{L"b.example.test", SOA}] = {0, {fake::SOA(L"near", L"h", {1})}};
    fake::Answers[{L"example.test", SOA}] = {0, {fake::SOA(L"far", L"h", {2})}};
    fake::LatencyMs[{L"b.example.test", SOA}] = 80;
    fake::LatencyMs[{L"a.b.example.test", SOA}] = 40;
    EXPECT_EQ(dns(L"a.b.example.test"), 0);
    EXPECT_NE(fake::Screen.find(L"MNAME       near"), std::wstring::npos) << fake::Screen;
    EXPECT_EQ(fake::Screen.find(L"far"), std::wstring::npos);
}

TEST_F(LookupNamesTest, WindowBoundsNamesAndQueriesInFlight) {
    // 600 names of nine queries each (eight types and one parent): the query bound is met
    // before the name bound.
    std::wstring line = L"/N:H *";
    for (int i = 0; i < 600; ++i)
        line += L" n" + std::to_wstring(i) + L".w.test";
    size_t mostNames = 0;
    fake::OnWait = [&] {
        std::set<std::wstring> names;
        size_t answered = fake::Queries.size() - fake::InFlight;
        for (size_t i = answered; i < fake::Queries.size(); ++i)
            names.insert(fake::Queries[i].name);
        mostNames = std::max(mostNames, names.size());
    };
    for (int i = 0; i < 600; i += 7) // some names answer late
        fake::LatencyMs[{L"n" + std::to_wstring(i) + L".w.test", A}] = 200;
    EXPECT_EQ(dns(line.c_str()), 0);
    EXPECT_EQ(fake::Queries.size(), 600u * 9);
    EXPECT_EQ(fake::MaxInFlight, MaxQueriesInFlight);
    EXPECT_LE(mostNames, MaxNamesAhead + 1); // the parent w.test is shared by all
}

// The user sits at the page prompt for a while before pressing key; the prompt sleeps only
// once no query is in flight any more.
void UserAtPrompt(uint64_t ms, wchar_t key, size_t* inFlightThen = nullptr) {
    fake::OnSleep = [=] {
        if (!fake::Keys.empty() || fake::Direct.find(L"Press") == std::wstring::npos) return;
        if (inFlightThen != nullptr) *inFlightThen = fake::InFlight;
        fake::SystemTime += ms * 10000;
        fake::Keys.push_back(key);
    };
}

TEST_F(LookupNamesTest, NameSummaryShowsItsOwnNetworkTime) {
    // The first name's page prompt keeps the user 5 s; the second name's answers took 20 ms.
    fake::Answers[{L"one.test", A}] = {
        0, {fake::A("192.0.2.1"), fake::A("192.0.2.2"), fake::A("192.0.2.3")}};
    fake::Answers[{L"two.test", A}] = {0, {fake::A("192.0.2.4")}};
    fake::LatencyMs[{L"two.test", MX}] = 20;
    UserAtPrompt(5000, L'c');
    EXPECT_EQ(dns(L"/K /P,3 * one.test two.test"), 0);
    EXPECT_NE(fake::Screen.find(L"  3 records found   0:00.000"), std::wstring::npos)
        << fake::Screen;
    EXPECT_NE(fake::Screen.find(L"  1 record  found   0:00.020"), std::wstring::npos);
}

TEST_F(LookupNamesTest, PagePromptLetsLaterAnswersComeIn) {
    fake::Answers[{L"one.test", A}] = {
        0, {fake::A("192.0.2.1"), fake::A("192.0.2.2"), fake::A("192.0.2.3")}};
    fake::Answers[{L"two.test", A}] = {0, {fake::A("192.0.2.4")}};
    for (uint16_t type : {A, AAAA, CNAME, NS, SOA, MX, TXT, uint16_t(29)})
        fake::LatencyMs[{L"two.test", type}] = 300;
    size_t inFlightAtKey = 99;
    UserAtPrompt(1000, L' ', &inFlightAtKey);
    EXPECT_EQ(dns(L"/P,4 * one.test two.test"), 0);
    EXPECT_EQ(inFlightAtKey, 0u) << "the later name's answers came in while the prompt waited";
    EXPECT_NE(fake::Screen.find(L"192.0.2.4"), std::wstring::npos);
}

TEST_F(LookupNamesTest, BreakWhileWaitingEndsTheCommand) {
    fake::Answers[{L"one.test", A}] = {0, {fake::A("192.0.2.1")}};
    fake::Muted.insert({L"two.test", A});
    int waits = 0;
    fake::OnWait = [&] {
        if (++waits == 50) BreakHandler(0); // Ctrl-C, a second into the wait
    };
    EXPECT_EQ(dns(L"* one.test two.test three.test"), 3);
    const std::wstring notice = L"\r ^C \n";
    ASSERT_GE(fake::Screen.size(), notice.size());
    // The notice ends the screen (its colour switched back after it): nothing follows.
    size_t at = fake::Screen.rfind(notice);
    ASSERT_NE(at, std::wstring::npos);
    EXPECT_EQ(fake::Screen.find(L'\n', at + notice.size()), std::wstring::npos);
    EXPECT_NE(fake::Screen.find(L"TWO.TEST"), std::wstring::npos);
    EXPECT_EQ(fake::Screen.find(L"THREE.TEST"), std::wstring::npos);
    EXPECT_EQ(fake::InFlight, 0u) << "what was in flight is given up";
    EXPECT_EQ(BreakFlag.load(), 0);
    EXPECT_EQ(CtrlHandlerInstalled, 0);
}

TEST_F(LookupNamesTest, NamesTheResolverCannotSendAreFailures) {
    fake::Unsendable.insert(L"bad.test");
    fake::Answers[{L"good.test", A}] = {0, {fake::A("192.0.2.1")}};
    EXPECT_EQ(dns(L"* bad.test good.test"), 2);
    EXPECT_NE(fake::Screen.find(L"No records found."), std::wstring::npos);
    EXPECT_NE(fake::Screen.find(L"192.0.2.1"), std::wstring::npos);
    EXPECT_EQ(fake::Err, L"DNS plugin: Error looking up A, AAAA, CNAME, NS, SOA, MX, TXT, LOC for "
                         L"\"BAD.TEST\": Error 123\r\n");
}

// ---- RDNS ----

TEST_F(LookupNamesTest, RdnsOutputIsWhatOneQueryAtATimeGives) {
    auto script = [] {
        fake::Answers[{L"1.2.0.192.in-addr.arpa", PTR}] = {
            0, {fake::Named(PTR, L"a.test"), fake::Named(PTR, L"b.test")}};
        fake::Answers[{L"2.2.0.192.in-addr.arpa", PTR}] = {5, {}};
        fake::Answers[{L"3.2.0.192.in-addr.arpa", PTR}] = {0, {fake::Named(CNAME, L"c.test")}};
        fake::LatencyMs[{L"1.2.0.192.in-addr.arpa", PTR}] = 50;
    };
    const wchar_t* line = L"/$ /M /A:127.0.0.1 192.0.2.1 bogus 192.0.2.2 192.0.2.3 2001:db8::1";
    script();
    OneAtATime(true);
    int sequentialCode = rdns(line);
    std::wstring sequential = fake::Screen + L"|" + fake::Err;
    fake::Reset();
    script();
    BreakFlag = 1; // RDNS polls no break flag
    int pipelinedCode = rdns(line);
    EXPECT_EQ(fake::Screen + L"|" + fake::Err, sequential);
    EXPECT_EQ(pipelinedCode, sequentialCode);
    EXPECT_EQ(pipelinedCode, 2);
    EXPECT_EQ(fake::SessionOptions, std::vector<uint32_t>{0u});
    EXPECT_EQ(fake::CtrlHandlerCalls, 0);
    BreakFlag = 0;
}

TEST_F(LookupNamesTest, RdnsWindowBoundsQueriesInFlight) {
    std::wstring line = L"/A:127.0.0.1";
    for (int i = 0; i < 600; ++i) // as many as the argument buffer holds
        line += L" 10.0." + std::to_wstring(i / 250) + L"." + std::to_wstring(i % 250 + 1);
    EXPECT_EQ(rdns(line.c_str()), 2);
    EXPECT_EQ(fake::Queries.size(), 600u);
    EXPECT_EQ(fake::MaxInFlight, MaxQueriesInFlight);
}

} // namespace
