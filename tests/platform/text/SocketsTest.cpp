#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>

#include <cstring>
#include <string>

#include "Octets.h"
#include "platform/text/Sockets.h"

namespace {

TEST(SockInetAddr, AcceptsEveryNumberForm) {
    struct Case {
        const char* text;
        uint32_t expected;
    } cases[] = {
        {"192.0.2.1", Octets(192, 0, 2, 1)},
        {"127.1", Octets(127, 0, 0, 1)},
        {"10.1.2", Octets(10, 1, 0, 2)},
        {"0177.0.0.1", Octets(127, 0, 0, 1)},
        {"0x7f.1", Octets(127, 0, 0, 1)},
        {"0X7F.0.0.1", Octets(127, 0, 0, 1)},
        {"3221225985", Octets(192, 0, 2, 1)},
        {"1.16777215", Octets(1, 255, 255, 255)},
        {"0.0.0.0", 0},
        {"255.255.255.255", SockInvalidAddress},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SockInetAddr(c.text), c.expected) << c.text;
}

TEST(SockInetAddr, RejectsWhatIsNoAddress) {
    const char* bad[] = {
        "",           "1.2.3.4.5",    "256.1.1.1", "1.2.3.4x", "1.2.3.4 ",  "1.2.3.4 junk",
        "1.2.3.",     ".1",           "1..2",      "08",       "0x",        "4294967296",
        "1.16777216", "host.example", "::1",       " 1.2.3.4", "1.2.3.4\n", "\xc3\xa9"};
    for (const char* text : bad)
        EXPECT_EQ(SockInetAddr(text), SockInvalidAddress) << text;
    EXPECT_EQ(SockInetAddr(nullptr), SockInvalidAddress);
}

TEST(SockInetNtop, RendersBothFamilies) {
    wchar_t buffer[64];
    ASSERT_TRUE(SockInetNtop4(Octets(192, 0, 2, 1), buffer, 64));
    EXPECT_EQ(std::wstring(buffer), L"192.0.2.1");

    struct Case {
        uint8_t bytes[16];
        const wchar_t* text;
    } cases[] = {
        {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, L"2001:db8::1"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, L"::1"},
        {{0}, L"::"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 192, 0, 2, 1}, L"::ffff:192.0.2.1"},
        {{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0, 0, 0, 0, 0, 0}, L"fe80::abcd:0:0:0"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SockInetNtop6(c.bytes, buffer, 64));
        EXPECT_EQ(std::wstring(buffer), c.text);
    }
}

TEST(SockInetNtop, ShortBufferStaysEmptyAndUntouchedBeyondCapacity) {
    wchar_t buffer[8];
    std::wmemset(buffer, L'#', 8);
    EXPECT_FALSE(SockInetNtop4(Octets(192, 168, 100, 200), buffer, 4));
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(buffer[4], L'#');
    uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_FALSE(SockInetNtop6(loopback, buffer, 3));
    EXPECT_TRUE(SockInetNtop6(loopback, buffer, 4));
    EXPECT_EQ(std::wstring(buffer), L"::1");
    EXPECT_FALSE(SockInetNtop4(0, nullptr, 0));
}

struct Parsed {
    bool ok;
    std::string address;
    uint16_t port;
    uint32_t scope;
};

Parsed Parse(const wchar_t* text) {
    SockAddr6 address;
    std::memset(&address, 0xAA, sizeof address);
    Parsed result{SockStringToAddress6(text, &address), {}, 0, 0};
    if (!result.ok) return result;
    EXPECT_EQ(address.sin6_family, AF_INET6);
    EXPECT_EQ(address.sin6_flowinfo, 0u);
    char text6[INET6_ADDRSTRLEN];
    inet_ntop(AF_INET6, &address.sin6_addr, text6, sizeof text6);
    result.address = text6;
    result.port = ntohs(address.sin6_port);
    result.scope = address.sin6_scope_id;
    return result;
}

TEST(SockStringToAddress6, ReadsAddressScopeAndBrackets) {
    struct Case {
        const wchar_t* text;
        const char* address;
        uint16_t port;
        uint32_t scope;
    } cases[] = {
        {L"2001:db8::1", "2001:db8::1", 0, 0},
        {L"2001:DB8:0:0:0:0:0:1", "2001:db8::1", 0, 0},
        {L"::", "::", 0, 0},
        {L"::ffff:192.0.2.1", "::ffff:192.0.2.1", 0, 0},
        {L"fe80::1%3", "fe80::1", 0, 3},
        {L"[2001:db8::1]:53", "2001:db8::1", 53, 0},
        {L"[2001:db8::1]", "2001:db8::1", 0, 0},
        {L"[fe80::1%7]:65535", "fe80::1", 65535, 7},
    };
    for (const Case& c : cases) {
        Parsed p = Parse(c.text);
        ASSERT_TRUE(p.ok) << c.text;
        EXPECT_EQ(p.address, c.address);
        EXPECT_EQ(p.port, c.port);
        EXPECT_EQ(p.scope, c.scope);
    }
}

TEST(SockStringToAddress6, ScopeByInterfaceName) {
    unsigned index = if_nametoindex("lo");
    if (index == 0) GTEST_SKIP() << "no loopback interface";
    Parsed p = Parse(L"fe80::1%lo");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.scope, index);
    // Command arguments arrive upper-cased; the name still finds its interface.
    p = Parse(L"FE80::1%LO");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.scope, index);
    EXPECT_FALSE(Parse(L"fe80::1%no-such-interface0").ok);
}

TEST(SockStringToAddress6, RefusesWhatIsNoIpv6Address) {
    const wchar_t* bad[] = {
        L"",
        L"192.0.2.1",
        L"127.1",
        L"host.example",
        L"2001:db8::1::2",
        L"2001:db8::g",
        L"fe80::1%",
        L"fe80::1%1x",
        L"[2001:db8::1",
        L"[2001:db8::1]:",
        L"[2001:db8::1]:65536",
        L"[2001:db8::1]53",
        L"[2001:db8::1]:5x",
        L"2001:db8::1 ",
        L"2001:db8::1\x00e9",
        L"::1:2:3:4:5:6:7:8:9:a:b:c:d:e:f:0:1:2:3:4:5:6:7:8:9:a:b:c:d:e:f:0:1:2:3:4:5:6:7:"
        L"8:9:a:b:c:d:e:f:0:1:2:3:4:5:6:7:8:9:a:b:c:d:e:f:0:1:2:3:4:5:6:7:8:9"};
    for (const wchar_t* text : bad)
        EXPECT_FALSE(Parse(text).ok) << static_cast<int>(wcslen(text));
    SockAddr6 address;
    EXPECT_FALSE(SockStringToAddress6(nullptr, &address));
    EXPECT_FALSE(SockStringToAddress6(L"::1", nullptr));
}

TEST(SockAddress6ToString, AddressScopeAndPort) {
    SockAddr6 address;
    ASSERT_TRUE(SockStringToAddress6(L"fe80::1%42", &address));
    wchar_t buffer[80];
    ASSERT_TRUE(SockAddress6ToString(&address, buffer, 80));
    EXPECT_EQ(std::wstring(buffer), L"fe80::1%42");

    address.sin6_scope_id = 0;
    ASSERT_TRUE(SockAddress6ToString(&address, buffer, 80));
    EXPECT_EQ(std::wstring(buffer), L"fe80::1");

    address.sin6_port = htons(53);
    ASSERT_TRUE(SockAddress6ToString(&address, buffer, 80));
    EXPECT_EQ(std::wstring(buffer), L"[fe80::1]:53");

    address.sin6_family = AF_INET;
    EXPECT_FALSE(SockAddress6ToString(&address, buffer, 80));
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_FALSE(SockAddress6ToString(nullptr, buffer, 80));
}

TEST(SockAddress6ToString, LongestTextAndShortBuffer) {
    SockAddr6 address;
    ASSERT_TRUE(
        SockStringToAddress6(L"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff%4294967295", &address));
    wchar_t buffer[64];
    ASSERT_TRUE(SockAddress6ToString(&address, buffer, 64));
    EXPECT_EQ(std::wstring(buffer), L"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff%4294967295");
    wchar_t small[12];
    std::wmemset(small, L'#', 12);
    EXPECT_FALSE(SockAddress6ToString(&address, small, 10));
    EXPECT_EQ(small[0], L'\0');
    EXPECT_EQ(small[10], L'#');
}

} // namespace
