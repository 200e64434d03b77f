// The argument splitter under each flag, its limits, and unsigned number parsing.
#include <string>
#include <vector>

#include "dns/frame/SplitArguments.h"
#include "tests/ScopedCharacterType.h"
#include "tests/fakes/FakeWorld.h"

namespace {

const std::wstring Null = L"<null>";

std::vector<std::wstring> Split(const wchar_t* line, uint32_t flags) {
    int count = SplitArguments(line, flags);
    std::vector<std::wstring> out;
    for (int i = 0; i < count; ++i)
        out.push_back(ArgVector[i] ? ArgVector[i] : Null);
    return out;
}

struct SplitCase {
    const char* what;
    const wchar_t* line;
    uint32_t flags;
    std::vector<std::wstring> expected;
};

constexpr uint32_t Dns = ARG_SPLIT_BLANKS | ARG_SPLIT_SWITCHES;
constexpr uint32_t Rdns = Dns | ARG_UPPER_CASE;

const SplitCase SplitCases[] = {
    // Nothing to split.
    {"empty line", L"", Dns, {}},
    {"blanks only", L"  \t  ", Dns, {}},
    {"empty quotes", L"\"\"", Dns, {}},
    // The DNS command's flags.
    {"words", L"  a  bb\tccc ", Dns, {L"a", L"bb", L"ccc"}},
    {"switches written together", L"/k/s x", Dns, {L"/k", L"/s", L"x"}},
    {"slash inside a word", L"a/b", Dns, {L"a/b"}},
    {"two leading slashes", L"//x", Dns, {L"//x"}},
    {"single slash then switch", L"/ /x", Dns, {L"/", L"/x"}},
    {"url in a switch", L"/A:ftp://host/path/x", Dns, {L"/A:ftp://host/path/x"}},
    {"colon and one slash", L"/A:ftp:/x", Dns, {L"/A:ftp:", L"/x"}},
    {"quotes group and vanish", L"a \"b c\" d", Dns, {L"a", L"b c", L"d"}},
    {"quoted blanks: leading kept, trailing trimmed", L"\" x \"", Dns, {L" x"}},
    {"unclosed quote runs to the end", L"a \"b  c", Dns, {L"a", L"b  c"}},
    {"quoted slash does not split", L"/a\"/b\"", Dns, {L"/a/b"}},
    {"no switch split without the flag", L"/k/s x", ARG_SPLIT_BLANKS, {L"/k/s", L"x"}},
    // Upper-casing (RDNS).
    {"upper case", L"/a:fe80::1 x\u00e9", Rdns, {L"/A:FE80::1", L"X\u00e9"}},
    // Flag adjustment.
    {"no separator flag means blanks", L"a b", 0, {L"a", L"b"}},
    {"blanks remove tabs", L"\ta\tb", ARG_SPLIT_BLANKS | ARG_SPLIT_TABS, {L"a", L"b"}},
    // Commas.
    {"leading comma gives a null argument", L",a", ARG_SPLIT_COMMAS, {Null, L"a"}},
    {"two commas", L"a,,b", ARG_SPLIT_COMMAS, {L"a", Null, L"b"}},
    {"commas keep blanks, trim trailing", L"a b ,c", ARG_SPLIT_COMMAS, {L"a b", L"c"}},
    {"blanks and commas", L"a,b c", ARG_SPLIT_COMMAS | ARG_SPLIT_BLANKS, {L"a", L"b", L"c"}},
    // Tabs.
    {"tabs", L"a b\tc", ARG_SPLIT_TABS, {L"a b", L"c"}},
    {"leading tab ends an empty argument", L"\ta", ARG_SPLIT_TABS, {Null, L"a"}},
    // Equals.
    {"name = value", L"name = value x", ARG_SPLIT_EQUALS, {L"name", L"=value x"}},
    {"name=value", L"name=value x", ARG_SPLIT_EQUALS, {L"name", L"=value x"}},
    {"name = value with blanks",
     L"name = value x",
     ARG_SPLIT_EQUALS | ARG_SPLIT_BLANKS,
     {L"name", L"=value x"}},
    {"second equals stays", L"a=b=c", ARG_SPLIT_EQUALS, {L"a", L"=b=c"}},
    {"switch before equals is not cut",
     L"/a=b c",
     ARG_SPLIT_EQUALS | ARG_SPLIT_BLANKS,
     {L"/a=b c"}},
    {"quotes after equals group",
     L"n=\"x y\"",
     ARG_SPLIT_EQUALS | ARG_SPLIT_BLANKS,
     {L"n", L"=x y"}},
    {"plain quotes after equals",
     L"n=\"x y\"",
     ARG_SPLIT_EQUALS | ARG_SPLIT_BLANKS | ARG_EQUALS_PLAIN_QUOTES,
     {L"n", L"=\"x y\""}},
    // Quote handling.
    {"quote to colon", L"/a\"b c\"", ARG_SPLIT_BLANKS | ARG_QUOTE_TO_COLON, {L"/a:b c"}},
    {"quote to colon keeping quotes",
     L"/a\"b c\"",
     ARG_SPLIT_BLANKS | ARG_QUOTE_TO_COLON | ARG_KEEP_QUOTES,
     {L"/a:\"b c\""}},
    {"quote to colon needs a letter", L"/1\"b\"", ARG_SPLIT_BLANKS | ARG_QUOTE_TO_COLON, {L"/1b"}},
    {"keep quotes", L"a \"b c\"", ARG_SPLIT_BLANKS | ARG_KEEP_QUOTES, {L"a", L"\"b c\""}},
    {"plain quotes", L"a \"b c\"", ARG_SPLIT_BLANKS | ARG_PLAIN_QUOTES, {L"a", L"\"b", L"c\""}},
    // Trimming.
    {"no trim inside quotes", L"\" x \"", Dns | ARG_NO_TRIM, {L" x "}},
    {"no trim before a comma", L"a ,b", ARG_SPLIT_COMMAS | ARG_NO_TRIM, {L"a ", L"b"}},
    // Exclusion lists.
    {"exclusion list runs over blanks",
     L"/[!a \"b c\"] d",
     ARG_SPLIT_BLANKS | ARG_EXCLUDE_LISTS,
     {L"/[!a \"b c\"]", L"d"}},
    {"no exclusion list without the flag", L"/[!a b] d", ARG_SPLIT_BLANKS, {L"/[!a", L"b]", L"d"}},
    // The rest of the line.
    {"rest as one",
     L"/k  name with  blanks ",
     ARG_SPLIT_BLANKS | ARG_REST_AS_ONE,
     {L"/k", L"name with  blanks"}},
    {"rest as one stops at a comma",
     L"a b,c d",
     ARG_SPLIT_BLANKS | ARG_SPLIT_COMMAS | ARG_REST_AS_ONE,
     {L"a b", L"c d"}},
    {"rest as one drops quotes",
     L"/k \"a b\" c",
     ARG_SPLIT_BLANKS | ARG_REST_AS_ONE,
     {L"/k", L"a b c"}},
    {"rest keeps quotes",
     L"/k \"a b\" c",
     ARG_SPLIT_BLANKS | ARG_REST_AS_ONE | ARG_REST_KEEP_QUOTES,
     {L"/k", L"\"a b\" c"}},
    {"rest after first",
     L"/x a b  c",
     ARG_SPLIT_BLANKS | ARG_REST_AFTER_FIRST,
     {L"/x", L"a", L"b  c"}},
    {"rest after first, commas too",
     L"a,b,c",
     ARG_SPLIT_COMMAS | ARG_REST_AFTER_FIRST,
     {L"a", L"b,c"}},
};

class SplitTest : public FakeWorldTest, public ::testing::WithParamInterface<SplitCase> {};

// In the runtime's default character type and in the one corvane sets for its line editor.
TEST_P(SplitTest, GivesTheArguments) {
    const SplitCase& c = GetParam();
    for (const char* locale : TestCharacterTypes) {
        ScopedCharacterType type(locale);
        if (!type.took) continue;
        EXPECT_EQ(Split(c.line, c.flags), c.expected) << c.what << " in " << locale;
        EXPECT_EQ(ArgCount, static_cast<int32_t>(c.expected.size())) << c.what;
        EXPECT_EQ(fake::Err, L"") << c.what;
    }
}
INSTANTIATE_TEST_SUITE_P(Flags, SplitTest, ::testing::ValuesIn(SplitCases));

// Characters whose classes differ between those two: the split stays what the runtime's
// default classes give.
TEST(SplitLocaleTest, NonAsciiBlanksAndLettersSplitAsInTheDefault) {
    const wchar_t* lines[] = {L"a\u3000b \u00a0c\u2003d\u2028e",              // blanks of Unicode
                              L"/\u00e9\"x y\" /\u0416\"z\"",                 // quote to colon
                              L"/A:\u00e9://h/p \u00e9\u00df\u0436 x\u3000"}; // url, case
    const uint32_t flags[] = {Dns, Rdns, ARG_SPLIT_BLANKS | ARG_QUOTE_TO_COLON,
                              ARG_SPLIT_COMMAS | ARG_SPLIT_TABS};
    for (const wchar_t* line : lines)
        for (uint32_t flag : flags) {
            std::vector<std::wstring> inDefault;
            {
                ScopedCharacterType type("C");
                inDefault = Split(line, flag);
            }
            for (const char* locale : TestCharacterTypes) {
                ScopedCharacterType type(locale);
                if (!type.took) continue;
                EXPECT_EQ(Split(line, flag), inDefault) << "flags " << flag << " in " << locale;
            }
        }
}

class SplitLimitsTest : public FakeWorldTest {};

TEST_F(SplitLimitsTest, NullLineChangesNothing) {
    ASSERT_EQ(SplitArguments(L"a b c", Dns), 3);
    EXPECT_EQ(SplitArguments(nullptr, Dns), -1);
    EXPECT_EQ(ArgCount, 3);
    EXPECT_STREQ(ArgVector[2], L"c");
}

TEST_F(SplitLimitsTest, ResultReplacesThePreviousSplit) {
    ASSERT_EQ(SplitArguments(L"a b c", Dns), 3);
    ASSERT_EQ(SplitArguments(L"x", Dns), 1);
    EXPECT_EQ(ArgVector[1], nullptr);
    EXPECT_EQ(ArgLengths[1], 0);
}

TEST_F(SplitLimitsTest, LongestTextFits) {
    std::wstring line(MAX_ARG_LEN - 2, L'x'); // positions 0..8189, terminator at 8190
    EXPECT_EQ(SplitArguments(line.c_str(), Dns), 1);
    EXPECT_EQ(std::wstring(ArgVector[0]), line);
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(SplitLimitsTest, OverflowIsReported) {
    std::wstring line(MAX_ARG_LEN, L'x');
    ASSERT_EQ(SplitArguments(L"a", Dns), 1);
    EXPECT_EQ(SplitArguments(line.c_str(), Dns), -1);
    EXPECT_EQ(ArgCount, 0);
    EXPECT_EQ(fake::Err, L"DNS plugin: Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \r\n");
}

TEST_F(SplitLimitsTest, TerminatorsCountTowardsTheBuffer) {
    // 1024 arguments of seven letters need exactly 8192 positions with their terminators.
    std::wstring line;
    for (int i = 0; i < MAX_ARGS; ++i)
        line += L"aaaaaaa ";
    EXPECT_EQ(SplitArguments(line.c_str(), Dns), MAX_ARGS);
    EXPECT_STREQ(ArgVector[MAX_ARGS - 1], L"aaaaaaa");
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(SplitLimitsTest, BufferTestComesBeforeTheArgumentLimit) {
    std::wstring line;
    for (int i = 0; i < MAX_ARGS; ++i)
        line += L"aaaaaaa ";
    line += L"x";
    EXPECT_EQ(SplitArguments(line.c_str(), Dns), -1);
    EXPECT_EQ(ArgCount, 0);
    EXPECT_EQ(fake::Err, L"DNS plugin: Buffer overflow: b = 8192, MAX_ARG_LEN = 8192 \r\n");
}

TEST_F(SplitLimitsTest, ArgumentsBeyondTheLimitAreIgnored) {
    std::wstring line;
    for (int i = 0; i < MAX_ARGS + 100; ++i)
        line += (i < MAX_ARGS ? L"a " : L"zz ");
    EXPECT_EQ(SplitArguments(line.c_str(), Dns), MAX_ARGS);
    EXPECT_EQ(ArgCount, MAX_ARGS);
    EXPECT_STREQ(ArgVector[MAX_ARGS - 1], L"a");
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(SplitLimitsTest, LongTextAfterTheArgumentLimitIsDropped) {
    std::wstring line;
    for (int i = 0; i < MAX_ARGS; ++i)
        line += L"a ";
    line += std::wstring(MAX_ARG_LEN, L'z');
    EXPECT_EQ(SplitArguments(line.c_str(), Dns), MAX_ARGS);
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(SplitLimitsTest, ArgumentsAreWritableInPlace) {
    ASSERT_EQ(SplitArguments(L"abc def", Dns), 2);
    ArgVector[0][0] = L'/';
    EXPECT_STREQ(ArgVector[0], L"/bc");
    EXPECT_STREQ(ArgVector[1], L"def");
}

// ---- ParseUnsigned ----

struct NumberCase {
    const wchar_t* text;
    bool withEnd;
    int result;
    uint32_t value; // when result is 0
    size_t stop;    // offset of the end position, when withEnd and result is 0
};

const NumberCase NumberCases[] = {
    {L"10", false, 0, 10, 0},
    {L"0", false, 0, 0, 0},
    {L"0x1F", false, 0, 31, 0},
    {L"0X1f", false, 0, 31, 0},
    {L"0o17", false, 0, 15, 0},
    {L"0O17", false, 0, 15, 0},
    {L"0o8", true, 0, 0, 1},
    {L"0o8", false, -1, 0, 0},
    {L"0x", false, -1, 0, 0},
    {L"0x", true, 0, 0, 1},
    {L"12abc", true, 0, 12, 2},
    {L"12abc", false, -1, 0, 0},
    {L"5m,20", true, 0, 5, 1},
    {L"4294967295", false, 0, 4294967295u, 0},
    {L"0xFFFFFFFF", false, 0, 4294967295u, 0},
    {L"4294967296", false, 34, 0, 0},
    {L"4294967296", true, 34, 0, 0},
    {L"0x100000000", false, 34, 0, 0},
    {L"0o40000000000", false, 34, 0, 0},
    {L"99999999999999999999999", false, 34, 0, 0},
    {L"-1", false, -1, 0, 0},
    {L"+1", false, -1, 0, 0},
    {L" 1", false, -1, 0, 0},
    {L"", false, -1, 0, 0},
    {L"x1", true, -1, 0, 0},
};

class ParseUnsignedTest : public FakeWorldTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(ParseUnsignedTest, Reads) {
    const NumberCase& c = GetParam();
    uint32_t value = 0xDEADBEEF;
    const wchar_t* end = nullptr;
    int result = ParseUnsigned(c.text, &value, c.withEnd ? &end : nullptr);
    EXPECT_EQ(result, c.result) << "text " << ::testing::PrintToString(std::wstring(c.text));
    if (result == 0) {
        EXPECT_EQ(value, c.value);
        if (c.withEnd) {
            EXPECT_EQ(end, c.text + c.stop);
        }
    } else {
        EXPECT_EQ(value, 0xDEADBEEFu) << "value written on failure";
        EXPECT_EQ(end, nullptr) << "end written on failure";
    }
}
INSTANTIATE_TEST_SUITE_P(Forms, ParseUnsignedTest, ::testing::ValuesIn(NumberCases));

TEST(ParseUnsignedNullTest, NullTextOrValue) {
    uint32_t value = 0;
    EXPECT_EQ(ParseUnsigned(nullptr, &value, nullptr), -1);
    EXPECT_EQ(ParseUnsigned(L"1", nullptr, nullptr), -1);
}

} // namespace
