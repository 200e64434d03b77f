#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/text/Text.h"
#include "tests/ScopedCharacterType.h"

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
    // U+1F600 is one wchar_t on POSIX and a surrogate pair on Windows: the same UTF-8 either way.
    std::wstring text = L"\x2500\x00b0 a\U0001F600";
    EXPECT_EQ(WideToUtf8(text), "\xe2\x94\x80\xc2\xb0 a\xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(Utf8ToWide("\xf0\x9f\x98\x80").size(), sizeof(wchar_t) == 2 ? 2u : 1u);
    EXPECT_EQ(Utf8ToWide("a\xff"
                         "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(Utf8ToWide("\xe2\x94"), L"\xFFFD\xFFFD");
    EXPECT_EQ(Utf8ToWide("\xc0\xaf"), L"\xFFFD\xFFFD"); // overlong
}

TEST(FormatWide, NarrowStringsKeepWidthAndPrecisionInCharacters) {
    EXPECT_EQ(Format(L"[%4hs]", "\xc3\xa9t\xc3\xa9"), L"[ \x00e9t\x00e9]");
    EXPECT_EQ(Format(L"[%-3hs]", "\xe2\x94\x80"), L"[\x2500  ]");
    EXPECT_EQ(Format(L"[%.2hs]", "\xc3\xa9\xff"
                                 "b"),
              L"[\x00e9\xFFFD]");
    // A character beyond the BMP counts as one character, in one or two units.
    EXPECT_EQ(Format(L"[%-3hs]", "\xf0\x9f\x98\x80"), L"[\U0001F600  ]");
    EXPECT_EQ(Format(L"[%hs]", static_cast<const char*>(nullptr)), L"[(null)]");
}

TEST(Utf8, DecodesOneSequenceOrNone) {
    struct Row {
        const char* bytes;
        size_t length;
        char32_t cp;
    };
    for (const Row& row :
         {Row{"A", 1, U'A'}, Row{"\xc3\xa9x", 2, U'\x00e9'}, Row{"\xe2\x94\x80", 3, U'\x2500'},
          Row{"\xf4\x8f\xbf\xbf", 4, U'\x10FFFF'}, Row{"\xc1\xbf", 0, 0}, Row{"\xe0\x9f\xbf", 0, 0},
          Row{"\xed\xa0\x80", 0, 0}, Row{"\xf4\x90\x80\x80", 0, 0}, Row{"\xe2\x94", 0, 0},
          Row{"\x80", 0, 0}}) {
        char32_t cp = 0;
        auto bytes = reinterpret_cast<const unsigned char*>(row.bytes);
        EXPECT_EQ(DecodeUtf8Sequence(bytes, std::strlen(row.bytes), &cp), row.length) << row.bytes;
        if (row.length != 0) {
            EXPECT_EQ(cp, row.cp) << row.bytes;
        }
    }
}

// Bytes as they arrive from a terminal: a sequence's valid start asks for more; an overlong
// form, a surrogate or a byte that breaks the sequence ends it.
TEST(Utf8, PrefixesAskForMoreOrEndTheSequence) {
    struct Row {
        const char* bytes;
        size_t length;
    };
    for (const Row& row :
         {Row{"\xc3", Utf8Incomplete}, Row{"\xe2\x94", Utf8Incomplete},
          Row{"\xf0\x9d\x84", Utf8Incomplete}, Row{"\xf0\x9d\x84\x9e", 4}, Row{"\xc0", 0},
          Row{"\xc1\xbf", 0}, Row{"\xe0\x80", 0}, Row{"\xed\xa0", 0}, Row{"\xf4\x90", 0},
          Row{"\xc3x", 0}, Row{"\xe2\x94x", 0}, Row{"\xbf", 0}, Row{"\xf8", 0}}) {
        char32_t cp = 0;
        auto bytes = reinterpret_cast<const unsigned char*>(row.bytes);
        EXPECT_EQ(DecodeUtf8Prefix(bytes, std::strlen(row.bytes), &cp), row.length) << row.bytes;
        if (row.length != Utf8Incomplete) {
            EXPECT_EQ(DecodeUtf8Sequence(bytes, std::strlen(row.bytes), &cp), row.length);
        }
    }
}

// The classes the module splits arguments by: the runtime's default ones, also after the
// process has set a UTF-8 character type.
TEST(CharacterClasses, TheDefaultOnesWhateverTheLocale) {
    struct Row {
        wchar_t c;
        bool space, letter;
    };
#if !defined(_WIN32)
    const bool unicode = false; // the POSIX locale: ASCII's classes
#else
    const bool unicode = true; // the Windows runtime: every alphabet's
#endif
    for (const char* locale : TestCharacterTypes) {
        ScopedCharacterType type(locale);
        if (!type.took) continue;
        for (const Row& row :
             {Row{L' ', true, false}, Row{L'\t', true, false}, Row{L'\r', true, false},
              Row{L'\v', true, false}, Row{L'\0', false, false}, Row{L'a', false, true},
              Row{L'Z', false, true}, Row{L'1', false, false}, Row{L'\u3000', unicode, false},
              Row{L'\u00a0', unicode, false}, Row{L'\u2003', unicode, false},
              Row{L'\u00e9', false, unicode}, Row{L'\u0416', false, unicode}}) {
            EXPECT_EQ(IsSpaceCharacter(row.c), row.space) << int(row.c) << " in " << locale;
            EXPECT_EQ(IsLetterCharacter(row.c), row.letter) << int(row.c) << " in " << locale;
        }
    }
}

TEST(Utf8, NextCodePointJoinsSurrogatePairs) {
    std::wstring_view text = L"a\U0001F600b";
    EXPECT_EQ(NextCodePoint(text), U'a');
    EXPECT_EQ(NextCodePoint(text), U'\U0001F600');
    EXPECT_EQ(NextCodePoint(text), U'b');
    EXPECT_EQ(NextCodePoint(text), U'\0');
    if constexpr (sizeof(wchar_t) == 2) {
        const wchar_t lone[] = {wchar_t(0xDC00), L'x', 0};
        EXPECT_EQ(WideToUtf8(lone), "\xef\xbf\xbdx");
    }
}

#if !defined(_WIN32)
// The bounded conversions give what the whole-string ones give, cut to the capacity.
TEST(BoundedConversions, CutToCapacityLikeTheWholeText) {
    struct Row {
        const char* narrow;
        size_t capacity;
        const wchar_t* wide;
    };
    for (const Row& row : {Row{"1.0.9.1", 1024, L"1.0.9.1"}, Row{"abc", 3, L"ab"},
                           Row{"a\xff"
                               "b",
                               8,
                               L"a\xFFFD"
                               L"b"},
                           Row{"\xe2\x94", 8, L"\xFFFD\xFFFD"},
                           Row{"\xf0\x9f\x98\x80x", 2, L"\x1F600"}, Row{"", 4, L""}}) {
        wchar_t out[16];
        wmemset(out, L'#', 16);
        EXPECT_EQ(NarrowToWide(row.narrow, out, row.capacity), std::wcslen(row.wide)) << row.narrow;
        EXPECT_EQ(std::wstring(out), row.wide) << row.narrow;
    }

    char narrow[8];
    EXPECT_EQ(WideToNarrow(L"127.0.0.1", narrow, 8), 7u);
    EXPECT_STREQ(narrow, "127.0.0");
    EXPECT_EQ(WideToNarrow(L"a\x00e9"
                           L"b",
                           narrow, 3),
              2u); // cut inside a character's bytes
    EXPECT_EQ(std::string(narrow), std::string("a\xc3"));
    EXPECT_EQ(WideToNarrow(L"\x110000", narrow, 8), 3u);
    EXPECT_STREQ(narrow, "\xef\xbf\xbd");
    EXPECT_EQ(WideToNarrow(nullptr, narrow, 8), 0u);
    EXPECT_STREQ(narrow, "");
    EXPECT_EQ(NarrowToWide("x", nullptr, 8), 0u);
}
#else
// The system's code pages: the whole text or, when it does not fit, nothing.
TEST(BoundedConversions, CodePagesWholeOrNothing) {
    wchar_t wide[16];
    EXPECT_EQ(NarrowToWide("1.0.9.1", wide, 16), 7u);
    EXPECT_EQ(std::wstring(wide), L"1.0.9.1");
    EXPECT_EQ(NarrowToWide("abc", wide, 3), 0u);
    EXPECT_EQ(std::wstring(wide), L"");
    char narrow[16];
    EXPECT_EQ(WideToNarrow(L"127.0.0.1", narrow, 16), 9u);
    EXPECT_STREQ(narrow, "127.0.0.1");
    EXPECT_EQ(WideToNarrow(L"127.0.0.1", narrow, 8), 0u);
    EXPECT_STREQ(narrow, "");
    EXPECT_EQ(WideToNarrow(nullptr, narrow, 8), 0u);
    EXPECT_EQ(NarrowToWide("x", nullptr, 8), 0u);
}
#endif

} // namespace

TEST(UpperCaseWide, EveryAlphabetWhateverTheLocale) {
    for (const char* locale : TestCharacterTypes) {
        ScopedCharacterType type(locale);
        if (!type.took) continue;
        wchar_t text[] = L"/wabc\x00e4\x00df\x03b1\x0436 1-z";
        UpperCaseWide(text);
        // Sharp s has no capital.
        EXPECT_EQ(std::wstring(text), L"/WABC\x00c4\x00df\x0391\x0416 1-Z") << locale;
    }
}
