// The services as a plug-in sees them: colours, variable expansion, output text.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <array>
#include <string>

#include "host/HostState.h"
#include "host/OutputText.h"
#include "platform/host/HostIo.h"
#include "sdk/CorvanePlugin.h"

namespace {

struct ColorCase {
    const wchar_t* text;
    int result, foreground, background;
};

class ParseColorsTable : public testing::TestWithParam<ColorCase> {};

TEST_P(ParseColorsTable, GivesConsoleNumbers) {
    const ColorCase& c = GetParam();
    int fg = -1, bg = -1;
    EXPECT_EQ(ParseColors(c.text, &fg, &bg), c.result);
    EXPECT_EQ(fg, c.foreground);
    EXPECT_EQ(bg, c.background);
}

INSTANTIATE_TEST_SUITE_P(
    Colors, ParseColorsTable,
    testing::Values(ColorCase{L"black", 0, 0, -1}, ColorCase{L"blue", 0, 1, -1},
                    ColorCase{L"green", 0, 2, -1}, ColorCase{L"cyan", 0, 3, -1},
                    ColorCase{L"red", 0, 4, -1}, ColorCase{L"magenta", 0, 5, -1},
                    ColorCase{L"yellow", 0, 6, -1}, ColorCase{L"brown", 0, 6, -1},
                    ColorCase{L"white", 0, 7, -1}, ColorCase{L"grey", 0, 7, -1},
                    ColorCase{L"gray", 0, 7, -1}, ColorCase{L"bright black", 0, 8, -1},
                    ColorCase{L"Bright Yellow", 0, 14, -1},
                    ColorCase{L"bright white on blue", 0, 15, 1},
                    ColorCase{L"  RED   ON  bright  CYAN ", 0, 4, 11},
                    ColorCase{L"\tyellow\ton\tblack", 0, 6, 0}, ColorCase{L"", -1, -1, -1},
                    ColorCase{L"bright", -1, -1, -1}, ColorCase{L"purple", -1, -1, -1},
                    ColorCase{L"red on", -1, -1, -1}, ColorCase{L"red on purple", -1, -1, -1},
                    ColorCase{L"red blue", -1, -1, -1}, ColorCase{L"red on blue extra", -1, -1, -1},
                    ColorCase{L"on blue", -1, -1, -1}, ColorCase{L"redd", -1, -1, -1},
                    ColorCase{L"0x1E", -1, -1, -1}));

TEST(ParseColors, NullTextFails) {
    int fg = 3, bg = 3;
    EXPECT_EQ(ParseColors(nullptr, &fg, &bg), -1);
    EXPECT_EQ(fg, -1);
    EXPECT_EQ(bg, -1);
}

TEST(Attribute, DefaultsToGreyOnBlackAndFollowsSetColors) {
    int attribute = 0, unused = 0;
    GetAttribute(&attribute, &unused);
    EXPECT_EQ(attribute, 0x07);
    SetColors(0x1E);
    GetAttribute(&attribute, &unused);
    EXPECT_EQ(attribute, 0x1E);
    SetColors(0x07);
    GetAttribute(&attribute, &unused);
    EXPECT_EQ(attribute, 0x07);
}

class Expansion : public testing::Test {
  protected:
    void SetUp() override {
        CorvaneSetMode(0, 0);
        HostUnsetEnv(L"noloadmsg");
        HostUnsetEnv(L"CORVANE_TEST_VALUE");
    }
    void TearDown() override {
        while (CorvaneBatchLevel() > 0)
            CorvaneLeaveBatch();
        HostUnsetEnv(L"noloadmsg");
        HostUnsetEnv(L"CORVANE_TEST_VALUE");
    }
    static std::wstring Expand(const wchar_t* text) {
        std::array<wchar_t, 1024> buffer{};
        std::wcsncpy(buffer.data(), text, buffer.size() - 1);
        ExpandVariables(buffer.data(), 1);
        return buffer.data();
    }
};

TEST_F(Expansion, LoadMessageShowsOnlyForInteractiveTerminal) {
    const wchar_t* probe = L"%[_transient]%[_pipe]%[noloadmsg]";
    EXPECT_EQ(Expand(probe), L"00");
    CorvaneSetMode(1, 0);
    EXPECT_EQ(Expand(probe), L"10");
    CorvaneSetMode(0, 1);
    EXPECT_EQ(Expand(probe), L"01");
    CorvaneSetMode(1, 1);
    EXPECT_EQ(Expand(probe), L"11");
    CorvaneSetMode(0, 0);
    HostSetEnv(L"noloadmsg", L"1");
    EXPECT_EQ(Expand(probe), L"001");
}

TEST_F(Expansion, BatchVariablesFollowTheBatchStack) {
    EXPECT_EQ(Expand(L"%_batch"), L"0");
    CorvaneEnterBatch(L"/tmp/outer.btm");
    CorvaneSetBatchLine(7);
    EXPECT_EQ(Expand(L"%_batch|%_batchname [%_batchline]  "), L"1|/tmp/outer.btm [7]  ");
    CorvaneEnterBatch(L"/tmp/in%ner.btm");
    CorvaneSetBatchLine(2);
    // A "%" inside a value is not expanded again.
    EXPECT_EQ(Expand(L"%_batch %_batchname %_batchline"), L"2 /tmp/in%ner.btm 2");
    CorvaneLeaveBatch();
    EXPECT_EQ(Expand(L"%_batch %_batchline"), L"1 7");
}

TEST_F(Expansion, ReferenceForms) {
    HostSetEnv(L"CORVANE_TEST_VALUE", L"v");
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        {L"%CORVANE_TEST_VALUE", L"v"},
        {L"%corvane_test_value!", L"v!"}, // names are case-blind
        {L"a%[CORVANE_TEST_VALUE]b", L"avb"},
        {L"%CORVANE_TEST_VALUEx", L""}, // the name runs on: unset, nothing
        {L"[%unset_name_xyz]", L"[]"},
        {L"100%%", L"100%"},
        {L"%% %", L"% %"},
        {L"50% off", L"50% off"},
        {L"%[unclosed", L"%[unclosed"},
        {L"%[_BATCH]", L"0"},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Expand(c.text), c.expected) << c.text;
}

TEST_F(Expansion, NeverWritesPastTheSmallBuffer) {
    HostSetEnv(L"CORVANE_TEST_VALUE", std::wstring(600, L'x'));
    std::array<wchar_t, 8192> buffer{};
    buffer.fill(L'#');
    std::wcscpy(buffer.data(), L"%CORVANE_TEST_VALUE%CORVANE_TEST_VALUE");
    ExpandVariables(buffer.data(), 1);
    EXPECT_EQ(std::wstring(buffer.data()), std::wstring(1023, L'x'));
    EXPECT_EQ(buffer[1023], L'\0');
    EXPECT_EQ(buffer[1024], L'#');
}

TEST_F(Expansion, ExactlyFullBufferIsKept) {
    HostSetEnv(L"CORVANE_TEST_VALUE", std::wstring(1000, L'y'));
    std::wstring expected = std::wstring(1000, L'y') + std::wstring(23, L'z');
    std::array<wchar_t, 1024> buffer{};
    std::wcscpy(buffer.data(), (L"%[CORVANE_TEST_VALUE]" + std::wstring(23, L'z')).c_str());
    EXPECT_EQ(ExpandVariables(buffer.data(), 1), 0);
    EXPECT_EQ(std::wstring(buffer.data()), expected);
}

TEST(OutputText, CrLfBecomesLfWithinOneCall) {
    EXPECT_EQ(OutputBytes(L"a\r\nb\r\n"), "a\nb\n");
    EXPECT_EQ(OutputBytes(L"a\nb"), "a\nb");
    EXPECT_EQ(OutputBytes(L"\r\r\n\n"), "\r\n\n");
    EXPECT_EQ(OutputBytes(L"end\r"), "end\r");
    EXPECT_EQ(OutputBytes(L"\u2014 \u00e9\r\n"), "\xE2\x80\x94 \xC3\xA9\n");
}

// A character beyond the BMP is one UTF-8 sequence, whether wchar_t holds it as one unit or
// as a surrogate pair; a lone surrogate becomes U+FFFD.
TEST(OutputText, CharactersBeyondTheBmpAreOneSequence) {
    EXPECT_EQ(OutputBytes(L"\U0001F600!"), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(OutputBytes(L"a\U00010437\r\n"), "a\xF0\x90\x90\xB7\n");
    if constexpr (sizeof(wchar_t) == 2) {
        const wchar_t lone[] = {L'x', wchar_t(0xD800), L'y', 0};
        EXPECT_EQ(OutputBytes(lone), "x\xEF\xBF\xBDy");
    }
}

#if defined(_WIN32)
TEST(OutputText, HandlesDecodeToDescriptors) {
    EXPECT_EQ(HostHandleToDescriptor(GetStdHandle(STD_OUTPUT_HANDLE)), 1);
    EXPECT_EQ(HostHandleToDescriptor(GetStdHandle(STD_ERROR_HANDLE)), 2);
    EXPECT_EQ(HostHandleToDescriptor(nullptr), 2);
}
#else
TEST(OutputText, HandlesDecodeToDescriptors) {
    auto handle = [](intptr_t value) { return reinterpret_cast<void*>(value); };
    EXPECT_EQ(HostHandleToDescriptor(handle(2)), 1);
    EXPECT_EQ(HostHandleToDescriptor(handle(3)), 2);
    EXPECT_EQ(HostHandleToDescriptor(nullptr), 2);
    EXPECT_EQ(HostHandleToDescriptor(handle(1)), 2); // standard input is no output
    EXPECT_EQ(HostHandleToDescriptor(handle(-1)), 2);
    EXPECT_EQ(HostHandleToDescriptor(handle(1000)), 2);
}
#endif

std::wstring Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatToString(format, args);
    va_end(args);
    return text;
}

TEST(OutputText, FormatsTheModulesConversions) {
    EXPECT_EQ(Format(L"%-6s|%c|%d|%u", L"ab", L'\u00e9', -5, 7u), L"ab    |\u00e9|-5|7");
    EXPECT_EQ(Format(L"%s", std::wstring(5000, L'q').c_str()).size(), 5000u);
    EXPECT_EQ(Format(nullptr), L"");
}

} // namespace
