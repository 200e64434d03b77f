// The RDNS command: the option pass, its messages and exit codes; and, once the reverse
// lookups are in place, the address pass.
#include <string>

#include "dns/frame/HelpTexts.h"
#include "dns/frame/Plugin.h"
#include "dns/reverse/ReverseLookup.h"
#include "tests/fakes/FakeWorld.h"
#include "tests/fakes/Records.h"

namespace {

const std::wstring Prefix = L"DNS plugin: ";
const std::wstring Missing = Prefix + L"Missing ipaddr\r\n";

struct OptionCase {
    const wchar_t* line;
    int exitCode;
    std::wstring err;
};

const OptionCase OptionErrors[] = {
    {L"", 1, Missing},
    {L"  ", 1, Missing},
    {L"/$", 1, Missing},
    {L"/m /$", 1, Missing},
    {L"/x 192.0.2.1", 1, Prefix + L"Unknown option: \"/X\"\r\n"},
    {L"192.0.2.1 /m2", 1, Prefix + L"Unknown option: \"/M2\"\r\n"},
    {L"/$x 192.0.2.1", 1, Prefix + L"Unknown option: \"/$X\"\r\n"},
    {L"/bad /?", 1, Prefix + L"Unknown option: \"/BAD\"\r\n"},
    {L"/A 192.0.2.1", 1, Prefix + L"Bad IP address: \"/A\"\r\n"},
    {L"/a: 192.0.2.1", 1, Prefix + L"Bad IP address: \"/A:\"\r\n"},
    {L"/a:host.test 192.0.2.1", 1, Prefix + L"Bad IP address: \"/A:HOST.TEST\"\r\n"},
    {L"/a:2001:db8::1 192.0.2.1", 1, Prefix + L"Bad IP address: \"/A:2001:DB8::1\"\r\n"},
};

class RdnsOptionTest : public FakeWorldTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(RdnsOptionTest, FailsBeforeAnyLookup) {
    const OptionCase& c = GetParam();
    EXPECT_EQ(rdns(c.line), c.exitCode);
    EXPECT_EQ(fake::Err, c.err);
    EXPECT_EQ(fake::Out, L"");
    EXPECT_TRUE(fake::Queries.empty());
}
INSTANTIATE_TEST_SUITE_P(Errors, RdnsOptionTest, ::testing::ValuesIn(OptionErrors));

class RdnsCommandTest : public FakeWorldTest {};

TEST_F(RdnsCommandTest, NoArgumentText) {
    EXPECT_EQ(rdns(nullptr), 87);
    EXPECT_EQ(fake::Err, L"");
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(RdnsCommandTest, HelpStopsTheOptionPass) {
    EXPECT_EQ(rdns(L"192.0.2.1 /? /bad"), 0);
    EXPECT_EQ(fake::Out, RdnsHelpText);
    EXPECT_EQ(fake::Err, L"");
    EXPECT_TRUE(fake::Queries.empty());
}

TEST_F(RdnsCommandTest, HelpWithBanner) {
    EXPECT_EQ(rdns(L"/??"), 0);
    EXPECT_EQ(fake::Out, std::wstring(RdnsHelpText) +
                             L"\r\n\t\t\t\tDNS  1.0.9.2 (x64)\r\n\t\t\t\tDnsCmd.cpp  1.0.9.1\r\n");
}

TEST_F(RdnsCommandTest, OverflowThenMissingAddress) {
    std::wstring line(9000, L'1');
    EXPECT_EQ(rdns(line.c_str()), 1);
    EXPECT_EQ(fake::Err, Prefix + L"Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \r\n" + Missing);
}

TEST_F(RdnsCommandTest, NeverTouchesTheCtrlHandler) {
    rdns(L"192.0.2.1");
    rdns(L"/x");
    EXPECT_EQ(fake::CtrlHandlerCalls, 0);
}

// ---- The address pass: needs address parsing, the reverse lookups and the server list ----

uint32_t Address(const char* dotted) {
    uint32_t address = 0;
    inet_pton(AF_INET, dotted, &address);
    return address;
}

bool ReverseLookupsReady() {
    fake::Reset();
    uint32_t address = 0;
    SockAddr6 address6{};
    bool ready = ParseAddress(L"192.0.2.1", &address, &address6) == 4;
    if (ready) {
        ReverseLookupV4(nullptr, address, 0);
        ready = !fake::Queries.empty();
    }
    uint32_t server = Address("192.0.2.53");
    ServerList* list = BuildServerList(&server, 1, false);
    if (list == nullptr)
        ready = false;
    else
        FreeServerList(list);
    fake::Reset();
    return ready;
}

const std::wstring Arrow = L" \u23af\u2192 ";

class RdnsLookupTest : public FakeWorldTest {
  protected:
    void SetUp() override {
        if (!ReverseLookupsReady()) GTEST_SKIP() << "reverse lookups not in place yet";
        FakeWorldTest::SetUp();
        fake::Answers[{L"1.2.0.192.in-addr.arpa", 12}] =
            fake::Reply{0, {fake::Named(12, L"one.test")}};
        fake::Answers[{L"2.2.0.192.in-addr.arpa", 12}] =
            fake::Reply{0, {fake::Named(12, L"two.test")}};
    }
};

TEST_F(RdnsLookupTest, LooksUpEachAddressInOrder) {
    EXPECT_EQ(rdns(L"192.0.2.1 192.0.2.2"), 0);
    EXPECT_EQ(fake::Out, L"192.0.2.1                " + Arrow + L"one.test\r\n" +
                             L"192.0.2.2                " + Arrow + L"two.test\r\n");
}

TEST_F(RdnsLookupTest, UnreadableAddressBetweenTwoGoodOnes) {
    EXPECT_EQ(rdns(L"192.0.2.1 bogus 192.0.2.2"), 1);
    EXPECT_EQ(fake::Err, Prefix + L"Bad IP address: \"BOGUS\"\r\n");
    EXPECT_EQ(fake::Queries.size(), 2u);
}

TEST_F(RdnsLookupTest, FailedLookupGives2) {
    EXPECT_EQ(rdns(L"0.0.0.0 192.0.2.9 192.0.2.1"), 2);
    EXPECT_NE(fake::Err.find(L"Bad IP address: \"0.0.0.0\""), std::wstring::npos);
}

TEST_F(RdnsLookupTest, ServerOptionsAreDistinctAndAtMostSeven) {
    EXPECT_EQ(rdns(L"/a:192.0.2.53 /A=192.0.2.53 /A192.0.2.54 /a:192.0.2.55 /a:192.0.2.56 "
                   L"/a:192.0.2.57 /a:192.0.2.58 /a:192.0.2.59 /a:192.0.2.60 192.0.2.1"),
              0);
    ASSERT_EQ(fake::Queries.size(), 1u);
    std::vector<uint32_t> expected;
    for (const char* a : {"192.0.2.53", "192.0.2.54", "192.0.2.55", "192.0.2.56", "192.0.2.57",
                          "192.0.2.58", "192.0.2.59"})
        expected.push_back(Address(a));
    EXPECT_EQ(fake::Queries[0].servers, expected);
}

TEST_F(RdnsLookupTest, NoServerOptionUsesTheSystemServers) {
    fake::ConfiguredServers = {"198.51.100.1"};
    EXPECT_EQ(rdns(L"/m 192.0.2.1"), 0);
    ASSERT_EQ(fake::Queries.size(), 1u);
    EXPECT_EQ(fake::Queries[0].servers, std::vector<uint32_t>{Address("198.51.100.1")});
}

TEST_F(RdnsLookupTest, TraceShowsTheServers) {
    EXPECT_EQ(rdns(L"/$ /a:192.0.2.53 192.0.2.1"), 0);
    EXPECT_EQ(fake::Out.find(L"   *  DnsServers[0] = 192.0.2.53\r\n"), 0u);
}

} // namespace
