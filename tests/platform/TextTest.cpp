#include <gtest/gtest.h>

#include <cstdint>

#include "platform/Text.h"

namespace {

std::wstring Format(const wchar_t* format, ...) {
    wchar_t buffer[256];
    va_list args;
    va_start(args, format);
    FormatWideV(buffer, 256, format, args);
    va_end(args);
    return buffer;
}

TEST(FormatWide, ConversionsTheModuleUses) {
    EXPECT_EQ(Format(L"%s plugin: ", L"DNS"), L"DNS plugin: ");
    EXPECT_EQ(Format(L"[%-6s]", L"ab"), L"[ab    ]");
    EXPECT_EQ(Format(L"[%3u]", 7u), L"[  7]");
    EXPECT_EQ(Format(L"%02u.%03u", 5u, 42u), L"05.042");
    EXPECT_EQ(Format(L"%d", -12), L"-12");
    EXPECT_EQ(Format(L"%c%c", L'\x2192', L'x'), L"\x2192x");
    EXPECT_EQ(Format(L"%I64u:%llu", uint64_t(1) << 40, 3ull), L"1099511627776:3");
    EXPECT_EQ(Format(L"Error %d", int32_t(0x80000001)), L"Error -2147483647");
    EXPECT_EQ(Format(L"%hs|%S", "narrow", "also"), L"narrow|also");
    EXPECT_EQ(Format(L"%x %X %#x %o", 255u, 255u, 255u, 8u), L"ff FF 0xff 10");
    EXPECT_EQ(Format(L"%.2s|%5.1s|", L"abc", L"xyz"), L"ab|    x|");
    EXPECT_EQ(Format(L"100%%"), L"100%");
    EXPECT_EQ(Format(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
}

TEST(FormatWide, CountsTheWholeTextAndCutsToCapacity) {
    wchar_t small[5];
    EXPECT_EQ(FormatWide(small, 5, L"%s", L"abcdefgh"), 8);
    EXPECT_EQ(std::wstring(small), L"abcd");
    EXPECT_EQ(FormatWide(nullptr, 0, L"%u-%u", 10u, 200u), 6);
    EXPECT_EQ(FormatWide(small, 5, nullptr), -1);
}

TEST(Utf8, RoundTripsAndReplacesInvalidBytes) {
    std::wstring text = L"\x2500\x00b0 a\x1F600";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(Utf8ToWide("a\xff" "b"), L"a\xFFFD" L"b");
    EXPECT_EQ(Utf8ToWide("\xe2\x94"), L"\xFFFD\xFFFD");
    EXPECT_EQ(Utf8ToWide("\xc0\xaf"), L"\xFFFD\xFFFD"); // overlong
}

} // namespace

TEST(UpperCaseWide, EveryAlphabetWhateverTheLocale) {
    wchar_t text[] = L"/wabc\x00e4\x00df\x03b1\x0436 1-z";
    UpperCaseWide(text);
    EXPECT_EQ(std::wstring(text), L"/WABC\x00c4\x00df\x0391\x0416 1-Z"); // sharp s has no capital
}
