#include <gtest/gtest.h>

#include <cstring>

#include "dns/reverse/ReverseLookup.h"
#include "tests/fakes/FakeWorld.h"

namespace {

using fake::Ipv4;

TEST(ParseAddress, Ipv4InEveryFormTheConversionAccepts) {
    struct Case {
        const wchar_t* text;
        uint32_t expected;
    } cases[] = {
        {L"192.0.2.1", Ipv4(192, 0, 2, 1)},  {L"127.1", Ipv4(127, 0, 0, 1)},
        {L"0177.0.0.1", Ipv4(127, 0, 0, 1)}, {L"0X7F.0.0.1", Ipv4(127, 0, 0, 1)},
        {L"10.1.2", Ipv4(10, 1, 0, 2)},      {L"3221225985", Ipv4(192, 0, 2, 1)},
    };
    for (const Case& c : cases) {
        uint32_t address4 = 0;
        SockAddr6 address6{};
        EXPECT_EQ(ParseAddress(c.text, &address4, &address6), 4) << c.text;
        EXPECT_EQ(address4, c.expected) << c.text;
    }
}

TEST(ParseAddress, NeitherFamilyLeavesTheAnswerZero) {
    const wchar_t* bad[] = {L"0.0.0.0",      L"255.255.255.255", L"0",         L"",
                            L"host.example", L"DNS.EXAMPLE.",    L"1.2.3.4.5", L"256.1.1.1",
                            L"1.2.3.4X",     L"2001:DB8::G",     L"FE80::1%",  L"[::1"};
    for (const wchar_t* text : bad) {
        uint32_t address4 = 0x12345678;
        SockAddr6 address6{};
        EXPECT_EQ(ParseAddress(text, &address4, &address6), 0) << text;
        EXPECT_EQ(address4, 0x12345678u) << text;
    }
}

TEST(ParseAddress, Ipv6KeepsAddressAndScopeDropsPort) {
    struct Case {
        const wchar_t* text;
        uint8_t bytes[16];
        uint32_t scope;
    } cases[] = {
        {L"2001:db8::1", {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0},
        {L"::ffff:192.0.2.1", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 192, 0, 2, 1}, 0},
        {L"FE80::1%1", {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 1},
        {L"[2001:db8::1]:53", {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0},
    };
    for (const Case& c : cases) {
        uint32_t address4 = 0;
        SockAddr6 address6;
        std::memset(&address6, 0xAA, sizeof address6);
        ASSERT_EQ(ParseAddress(c.text, &address4, &address6), 6) << c.text;
        EXPECT_EQ(address4, 0u) << c.text;
        EXPECT_EQ(address6.sin6_family, AF_INET6);
        EXPECT_EQ(address6.sin6_port, 0);
        EXPECT_EQ(address6.sin6_flowinfo, 0u);
        EXPECT_EQ(std::memcmp(&address6.sin6_addr, c.bytes, 16), 0) << c.text;
        EXPECT_EQ(address6.sin6_scope_id, c.scope) << c.text;
    }
}

TEST(ParseAddress, MissingPlacesAndTexts) {
    SockAddr6 address6{};
    uint32_t address4 = 0;
    EXPECT_EQ(ParseAddress(L"192.0.2.1", nullptr, &address6), -1);
    EXPECT_EQ(ParseAddress(nullptr, nullptr, &address6), -1);
    EXPECT_EQ(ParseAddress(nullptr, &address4, &address6), 0);
    EXPECT_EQ(ParseAddress(L"192.0.2.1", &address4, nullptr), 4);
    EXPECT_EQ(ParseAddress(L"::1", &address4, nullptr), 0);
}

TEST(ParseAddress, TextLongerThanTheBufferIsNoIpv4Address) {
    uint32_t address4 = 0;
    SockAddr6 address6{};
    // Whole, 1023 characters fit: octal 1.
    std::wstring text = std::wstring(1022, L'0') + L"1";
    EXPECT_EQ(ParseAddress(text.c_str(), &address4, &address6), 4);
    EXPECT_EQ(address4, Ipv4(0, 0, 0, 1));
    // Cut after 1023 characters this would read as 0.0.0.1; whole it is nothing.
    text += L"9";
    EXPECT_EQ(ParseAddress(text.c_str(), &address4, &address6), 0);
    // A non-ASCII character past the cut point must still spoil the text.
    text = std::wstring(1021, L'0') + L"1\x00e9";
    EXPECT_EQ(ParseAddress(text.c_str(), &address4, &address6), 0);
}

} // namespace
