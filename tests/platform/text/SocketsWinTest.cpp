// The Windows socket library's address conversions, as the module sees them.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "Octets.h"
#include "platform/text/Sockets.h"

namespace {

TEST(SockInetAddrWin, EveryFormOfInetAddr) {
    EXPECT_EQ(SockInetAddr("192.0.2.1"), Octets(192, 0, 2, 1));
    EXPECT_EQ(SockInetAddr("127.1"), Octets(127, 0, 0, 1));
    EXPECT_EQ(SockInetAddr("0x7f.1"), Octets(127, 0, 0, 1));
    EXPECT_EQ(SockInetAddr("not an address"), SockInvalidAddress);
    EXPECT_EQ(SockInetAddr(nullptr), SockInvalidAddress);
}

TEST(SockInetNtopWin, BothFamilies) {
    wchar_t text[64];
    ASSERT_TRUE(SockInetNtop4(Octets(192, 0, 2, 53), text, 64));
    EXPECT_STREQ(text, L"192.0.2.53");
    uint8_t v6[16] = {0x20, 0x01, 0x0d, 0xb8};
    v6[15] = 1;
    ASSERT_TRUE(SockInetNtop6(v6, text, 64));
    EXPECT_STREQ(text, L"2001:db8::1");
    // Too small a buffer: no text at all.
    wchar_t small[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_FALSE(SockInetNtop4(Octets(192, 0, 2, 53), small, 4));
    EXPECT_EQ(small[0], L'\0');
}

TEST(SockStringToAddress6Win, AddressScopeAndPort) {
    SockAddr6 address{};
    ASSERT_TRUE(SockStringToAddress6(L"2001:db8::1", &address));
    EXPECT_EQ(address.sin6_family, AF_INET6);
    EXPECT_EQ(address.sin6_addr.s6_addr[0], 0x20);
    EXPECT_EQ(address.sin6_addr.s6_addr[15], 1);
    EXPECT_EQ(address.sin6_scope_id, 0u);

    ASSERT_TRUE(SockStringToAddress6(L"fe80::1%7", &address));
    EXPECT_EQ(address.sin6_scope_id, 7u);
    ASSERT_TRUE(SockStringToAddress6(L"[2001:db8::1]:53", &address));
    EXPECT_EQ(ntohs(address.sin6_port), 53);

    for (const wchar_t* text : {L"", L"192.0.2.1", L"bogus", L"2001:db8::1::2"})
        EXPECT_FALSE(SockStringToAddress6(text, &address)) << text;
    EXPECT_FALSE(SockStringToAddress6(std::wstring(200, L'1').c_str(), &address));
}

TEST(SockAddress6ToStringWin, RendersWhatWasRead) {
    SockAddr6 address{};
    wchar_t text[128];
    ASSERT_TRUE(SockStringToAddress6(L"2001:0DB8:0:0::0001", &address));
    ASSERT_TRUE(SockAddress6ToString(&address, text, 128));
    EXPECT_STREQ(text, L"2001:db8::1");
    ASSERT_TRUE(SockStringToAddress6(L"::ffff:192.0.2.1", &address));
    ASSERT_TRUE(SockAddress6ToString(&address, text, 128));
    EXPECT_STREQ(text, L"::ffff:192.0.2.1");
    ASSERT_TRUE(SockStringToAddress6(L"fe80::1%3", &address));
    ASSERT_TRUE(SockAddress6ToString(&address, text, 128));
    EXPECT_STREQ(text, L"fe80::1%3");

    address.sin6_family = AF_INET;
    EXPECT_FALSE(SockAddress6ToString(&address, text, 128));
    EXPECT_STREQ(text, L"");
}

} // namespace
