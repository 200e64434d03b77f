#include <gtest/gtest.h>

#include <cstring>

#include "dns/reverse/ReverseLookup.h"
#include "tests/fakes/FakeWorld.h"

namespace {

const std::wstring Arrow = L" \x23AF\x2192 ";
const std::wstring V6Name2001 =
    L"1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa";

using fake::Ipv4;

SockAddr6 Address6(const wchar_t* text) {
    uint32_t address4 = 0;
    SockAddr6 address6{};
    EXPECT_EQ(ParseAddress(text, &address4, &address6), 6) << text;
    return address6;
}

class ReverseLookupTest : public FakeWorldTest {
  protected:
    void Answer(const std::wstring& name, std::vector<fake::Record> records, int32_t status = 0) {
        fake::Answers[{name, 12}] = fake::Reply{status, std::move(records)};
    }
    void TearDown() override { EXPECT_EQ(fake::OpenResultLists, 0); }
};

TEST_F(ReverseLookupTest, Ipv4NamesAndQuery) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* shown;
        const wchar_t* queried;
    } cases[] = {
        {L"192.0.2.1", L"192.0.2.1", L"1.2.0.192.in-addr.arpa"},
        {L"127.1", L"127.0.0.1", L"1.0.0.127.in-addr.arpa"},
        {L"0x0A.0377.1", L"10.255.0.1", L"1.0.255.10.in-addr.arpa"},
    };
    for (const Case& c : cases) {
        fake::Reset();
        uint32_t address4 = 0;
        ASSERT_EQ(ParseAddress(c.typed, &address4, nullptr), 4);
        EXPECT_EQ(ReverseLookupV4(nullptr, address4, ReverseTrace), 2);
        ASSERT_EQ(fake::Queries.size(), 1u);
        EXPECT_EQ(fake::Queries[0].name, c.queried);
        EXPECT_EQ(fake::Queries[0].type, 12);
        EXPECT_EQ(fake::Queries[0].options, 0u); // cache and hosts file may answer
        EXPECT_FALSE(fake::Queries[0].withServers);
        EXPECT_EQ(fake::Out, std::wstring(L"   *  AddrString = '") + c.shown + L"'   HostName = '" +
                                 c.queried + L"'\r\n");
    }
}

TEST_F(ReverseLookupTest, Ipv6NamesKeepScopeOutOfTheQueriedName) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* shown;
        std::wstring queried;
    } cases[] = {
        {L"2001:db8::1", L"2001:db8::1", V6Name2001},
        {L"[2001:DB8::1]:53", L"2001:db8::1", V6Name2001},
        {L"fe80::1%3", L"fe80::1%3",
         L"1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.e.f.ip6.arpa"},
        {L"::ffff:192.0.2.1", L"::ffff:192.0.2.1",
         L"1.0.2.0.0.0.0.c.f.f.f.f.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.ip6.arpa"},
    };
    for (const Case& c : cases) {
        fake::Reset();
        SockAddr6 address = Address6(c.typed);
        EXPECT_EQ(ReverseLookupV6(nullptr, &address, ReverseTrace), 2);
        ASSERT_EQ(fake::Queries.size(), 1u);
        EXPECT_EQ(fake::Queries[0].name, c.queried);
        EXPECT_EQ(fake::Queries[0].name.size(), 72u);
        EXPECT_EQ(fake::Queries[0].type, 12);
        EXPECT_EQ(fake::Queries[0].options, 0u);
        EXPECT_EQ(fake::Out, std::wstring(L"   *  AddrString = '") + c.shown + L"'   HostName = '" +
                                 c.queried + L"'\r\n");
    }
}

TEST_F(ReverseLookupTest, ServerListIsPassedThrough) {
    ServerList servers{2, {Ipv4(127, 0, 0, 53), Ipv4(127, 0, 0, 54)}};
    Answer(L"1.2.0.192.in-addr.arpa", {fake::Named(12, L"host.example")});
    EXPECT_EQ(ReverseLookupV4(&servers, Ipv4(192, 0, 2, 1), 0), 0);
    ASSERT_EQ(fake::Queries.size(), 1u);
    EXPECT_TRUE(fake::Queries[0].withServers);
    EXPECT_EQ(fake::Queries[0].servers,
              (std::vector<uint32_t>{Ipv4(127, 0, 0, 53), Ipv4(127, 0, 0, 54)}));
    EXPECT_EQ(servers.AddrCount, 2u);
}

TEST_F(ReverseLookupTest, OnePtrGivesOneLine) {
    Answer(L"1.2.0.192.in-addr.arpa", {fake::Named(12, L"host.example")});
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), 0), 0);
    EXPECT_EQ(fake::Out, L"192.0.2.1                " + Arrow + L"host.example\r\n");
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(ReverseLookupTest, FirstPtrOnlyUnlessAllNames) {
    Answer(L"1.2.0.192.in-addr.arpa",
           {fake::Named(5, L"alias.example"), fake::Named(12, L"one.example"),
            fake::Named(12, L"two.example"), fake::Named(12, L"three.example")});
    const std::wstring column = L"192.0.2.1                ";
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), 0), 0);
    EXPECT_EQ(fake::Out, column + Arrow + L"one.example\r\n");

    fake::Out.clear();
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), ReverseAllNames), 0);
    EXPECT_EQ(fake::Out, column + Arrow + L"one.example\r\n" + column + Arrow + L"two.example\r\n" +
                             column + Arrow + L"three.example\r\n");
}

TEST_F(ReverseLookupTest, ReplyWithoutPtrShowsTheArrowAlone) {
    Answer(L"1.2.0.192.in-addr.arpa", {fake::Named(5, L"alias.example")});
    for (uint32_t options : {0u, ReverseAllNames}) {
        fake::Out.clear();
        EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), options), 0);
        EXPECT_EQ(fake::Out, L"192.0.2.1                " + Arrow + L"\r\n");
    }
}

TEST_F(ReverseLookupTest, SuccessWithoutRecordsPrintsNothing) {
    Answer(L"1.2.0.192.in-addr.arpa", {});
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), ReverseAllNames), 0);
    EXPECT_EQ(fake::Out, L"");
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(ReverseLookupTest, FailureNamesTheAddressNotTheReverseName) {
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 99), 0), 2); // unanswered: 9003
    EXPECT_EQ(fake::Out, L"");
    EXPECT_EQ(fake::Err,
              L"DNS plugin: Error looking up \"192.0.2.99\": DNS name does not exist.\r\n");

    fake::Err.clear();
    SockAddr6 address = Address6(L"2001:db8::1");
    Answer(V6Name2001, {}, 9002);
    EXPECT_EQ(ReverseLookupV6(nullptr, &address, ReverseAllNames), 2);
    EXPECT_EQ(fake::Err.rfind(L"DNS plugin: Error looking up \"2001:db8::1\": ", 0), 0u)
        << fake::Err;
    EXPECT_EQ(fake::Err.substr(fake::Err.size() - 2), L"\r\n");
}

TEST_F(ReverseLookupTest, TraceComesBeforeTheResult) {
    Answer(L"1.0.0.127.in-addr.arpa", {fake::Named(12, L"localhost")});
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(127, 0, 0, 1), ReverseTrace | ReverseAllNames), 0);
    EXPECT_EQ(fake::Out, L"   *  AddrString = '127.0.0.1'   HostName = '1.0.0.127.in-addr.arpa'"
                         L"\r\n127.0.0.1                " +
                             Arrow + L"localhost\r\n");
}

TEST_F(ReverseLookupTest, LongIpv6AddressIsNotCut) {
    const wchar_t* text = L"2001:db8:1234:5678:9abc:def0:1234:5678";
    Answer(L"8.7.6.5.4.3.2.1.0.f.e.d.c.b.a.9.8.7.6.5.4.3.2.1.8.b.d.0.1.0.0.2.ip6.arpa",
           {fake::Named(12, L"long.example"), fake::Named(1, L"")});
    SockAddr6 address = Address6(text);
    EXPECT_EQ(ReverseLookupV6(nullptr, &address, 0), 0);
    EXPECT_EQ(fake::Out, text + Arrow + L"long.example\r\n");
}

TEST_F(ReverseLookupTest, Ipv6ShortAddressIsPaddedToTheColumn) {
    Answer(V6Name2001, {fake::Named(12, L"six.example")});
    SockAddr6 address = Address6(L"2001:db8::1");
    EXPECT_EQ(ReverseLookupV6(nullptr, &address, 0), 0);
    EXPECT_EQ(fake::Out, L"2001:db8::1              " + Arrow + L"six.example\r\n");
}

TEST_F(ReverseLookupTest, Ipv6OfAnotherFamilyStillQueriesWithEmptyText) {
    SockAddr6 address = Address6(L"2001:db8::1");
    address.sin6_family = 0;
    Answer(V6Name2001, {fake::Named(12, L"six.example")});
    EXPECT_EQ(ReverseLookupV6(nullptr, &address, 0), 0);
    EXPECT_EQ(fake::Out, std::wstring(25, L' ') + Arrow + L"six.example\r\n");
    EXPECT_EQ(ReverseLookupV6(nullptr, nullptr, 0), 2);
}

} // namespace

namespace {
TEST_F(ReverseLookupTest, ControlCharactersInHostNamesAreEscaped) {
    Answer(L"1.2.0.192.in-addr.arpa", {fake::Named(12, L"a\x12"
                                                       L"b\x1b[31mc\x7f")});
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), 0), 0);
    EXPECT_EQ(fake::Out, L"192.0.2.1                " + Arrow + L"a\\018b\\027[31mc\\127\r\n");
}
} // namespace

namespace {
// The longest name a reply can carry, every character escaped, is printed whole.
TEST_F(ReverseLookupTest, LongestEscapedHostNameIsNotCut) {
    std::wstring name(1020, L'\x11');
    Answer(L"1.2.0.192.in-addr.arpa", {fake::Named(12, name)});
    EXPECT_EQ(ReverseLookupV4(nullptr, Ipv4(192, 0, 2, 1), 0), 0);
    std::wstring escaped;
    for (size_t i = 0; i < name.size(); ++i)
        escaped += L"\\017";
    EXPECT_EQ(fake::Out, L"192.0.2.1                " + Arrow + escaped + L"\r\n");
}
} // namespace
