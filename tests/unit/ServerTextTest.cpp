// The display escaping of server text: which characters become \DDD, that a backslash and
// every other character pass unchanged, the size it announces and how it cuts to a buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dns/output/ServerText.h"

namespace {

std::wstring Escaped(const std::wstring& text) {
    std::vector<wchar_t> out(EscapedServerTextSize(text.c_str()));
    size_t written = EscapeServerText(text.c_str(), out);
    EXPECT_EQ(written + 1, out.size()) << "announced size";
    return out.data();
}

TEST(ServerText, ControlCharactersBecomeDecimalEscapes) {
    struct Case {
        const char* name;
        std::wstring text;
        std::wstring shown;
    } cases[] = {
        {"plain", L"www.example.test", L"www.example.test"},
        {"first C0", std::wstring(1, L'\x01') + L"a", L"\\001a"},
        {"line ends and tab", L"a\r\n\tb", L"a\\013\\010\\009b"},
        {"escape sequence", L"\x1b[31mred\x1b[0m", L"\\027[31mred\\027[0m"},
        {"markup 17 to 22", L"\x11\x12\x13\x14\x15\x16", L"\\017\\018\\019\\020\\021\\022"},
        {"16 and 23 around the markup", L"\x10\x17", L"\\016\\023"},
        {"last C0", L"\x1f", L"\\031"},
        {"DEL", L"x\x7f", L"x\\127"},
        {"C1 as its UTF-8 bytes", L"\x80\x9b\x9f", L"\\194\\128\\194\\155\\194\\159"},
        {"the edges of C1 stay", L"~\xa0\u00e9", L"~\xa0\u00e9"},
        {"backslash untouched", L"a\\\\b\\255\\.", L"a\\\\b\\255\\."},
        {"beyond ASCII untouched", L"caf\u00e9 \u2603 \U0001F600", L"caf\u00e9 \u2603 \U0001F600"},
        {"empty", L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Escaped(c.text), c.shown) << c.name;
}

TEST(ServerText, NullTextIsEmpty) {
    EXPECT_EQ(EscapedServerTextSize(nullptr), 1u);
    wchar_t out[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(EscapeServerText(nullptr, out), 0u);
    EXPECT_EQ(out[0], L'\0');
    ShownServerText shown(nullptr);
    EXPECT_TRUE(shown.ok());
    EXPECT_STREQ(shown.text(), L"");
}

TEST(ServerText, CutsBeforeWhatDoesNotFit) {
    struct Case {
        size_t capacity;
        std::wstring shown;
    } cases[] = {
        {1, L""}, {2, L"a"}, {5, L"a"}, {6, L"a\\027"}, {13, L"a\\027"}, {14, L"a\\027\\194\\155"},
    };
    for (const Case& c : cases) {
        std::vector<wchar_t> out(c.capacity, L'#');
        EXPECT_EQ(EscapeServerText(L"a\x1b\x9b", out), c.shown.size()) << c.capacity;
        EXPECT_EQ(std::wstring(out.data()), c.shown) << c.capacity;
    }
    EXPECT_EQ(EscapeServerText(L"abc", std::span<wchar_t>()), 0u);
}

TEST(ServerText, ShownTextOwnsItsEscapedCopy) {
    std::wstring name = L"mx\x12.test";
    ShownServerText shown(name.c_str());
    EXPECT_TRUE(shown.ok());
    EXPECT_STREQ(shown.text(), L"mx\\018.test");
    EXPECT_EQ(name, L"mx\x12.test"); // the resolver's text is left alone
}

} // namespace
