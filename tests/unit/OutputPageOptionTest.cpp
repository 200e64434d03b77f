// The "/P" option: accepted forms, pause time and line count, and the four rejections.
#include <cstdint>
#include <string>

#include "tests/unit/OutputFixture.h"

namespace {
constexpr uint32_t NoCount = 0xFFFFFFFF;

struct OptionCase {
    const wchar_t* argument;
    int result;
    uint32_t pause;
    uint32_t lines;
    const wchar_t* message;   // what follows the error prefix, or null
    const wchar_t* afterward; // the argument once the call returned
};

class PageOptionTest : public OutputTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(PageOptionTest, ParsesOrRejects) {
    const OptionCase& c = GetParam();
    std::wstring argument = c.argument;
    PauseTime = 12345;
    uint32_t lines = 777;
    EXPECT_EQ(ParsePageOption(argument.data(), &lines), c.result) << c.argument;
    EXPECT_EQ(argument, c.afterward != nullptr ? c.afterward : c.argument);
    if (c.message == nullptr) {
        EXPECT_EQ(fake::Err, L"") << c.argument;
        EXPECT_EQ(PauseTime, c.pause) << c.argument;
        EXPECT_EQ(lines, c.lines) << c.argument;
    } else {
        EXPECT_EQ(fake::Err, std::wstring(L"DNS plugin: ") + c.message) << c.argument;
    }
    EXPECT_EQ(fake::Out, L"");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PageOptionTest,
    ::testing::Values(
        OptionCase{L"/P", 0, 0, NoCount, nullptr, nullptr},
        OptionCase{L"-p", 0, 0, NoCount, nullptr, nullptr},
        OptionCase{L"/P5", 0, 5000, NoCount, nullptr, nullptr},
        OptionCase{L"/P:500m", 0, 500, NoCount, nullptr, nullptr},
        OptionCase{L"/P=500M", 0, 500, NoCount, nullptr, nullptr},
        OptionCase{L"/p:0", 0, 0, NoCount, nullptr, nullptr},
        OptionCase{L"/P5,20", 0, 5000, 20, nullptr, nullptr},
        OptionCase{L"/P;20", 0, 0, 20, nullptr, nullptr},
        OptionCase{L"/P:,20", 0, 0, 20, nullptr, nullptr},
        OptionCase{L"/P5,", 0, 5000, NoCount, nullptr, nullptr},
        OptionCase{L"/P,0", 0, 0, 0, nullptr, nullptr},
        OptionCase{L"/P0x10", 0, 16000, NoCount, nullptr, nullptr},
        OptionCase{L"/P250m;0x10", 0, 250, 16, nullptr, nullptr},
        OptionCase{L"/P,1000", 0, 0, 1000, nullptr, nullptr},
        // Seconds beyond 32 bits of milliseconds keep the low 32 bits of the product.
        OptionCase{L"/P4294968", 0, 704, NoCount, nullptr, nullptr},
        OptionCase{L"/P4294967295m", 0, 0xFFFFFFFF, NoCount, nullptr, nullptr},
        OptionCase{L"/P,1001", 1, 0, 0, L"Pause lines must be 0 - 1000: 1001\r\n", nullptr},
        OptionCase{L"/px", 1, 0, 0, L"Syntax error: \"/PX\"\r\n", L"/PX"},
        OptionCase{L"/p:5x", 1, 0, 0, L"Syntax error: \"/P:5X\"\r\n", L"/P:5X"},
        OptionCase{L"/P5,20,", 1, 0, 0, L"Syntax error: \"/P5,20,\"\r\n", nullptr},
        OptionCase{L"/P::5", 1, 0, 0, L"Syntax error: \"/P::5\"\r\n", nullptr},
        OptionCase{L"/P 5", 1, 0, 0, L"Syntax error: \"/P 5\"\r\n", nullptr},
        OptionCase{L"/P5ms", 1, 0, 0, L"Syntax error: \"/P5MS\"\r\n", L"/P5MS"},
        OptionCase{L"/P-5", 1, 0, 0, L"Syntax error: \"/P-5\"\r\n", nullptr},
        OptionCase{L"/P99999999999", 1, 0, 0, L"Bad pause time: \"/P99999999999\"\r\n", nullptr},
        OptionCase{L"/p,99999999999x", 1, 0, 0, L"Bad pause lines: \"/P,99999999999X\"\r\n",
                   L"/P,99999999999X"},
        // Only ASCII letters are upper-cased in the quoted argument.
        OptionCase{L"/p\u00e9", 1, 0, 0, L"Syntax error: \"/P\u00e9\"\r\n", L"/P\u00e9"}));

TEST_F(OutputTest, OtherArgumentsAreLeftAlone) {
    for (const wchar_t* text : {L"/S", L"/", L"P5", L"x", L"", L"/Q5"}) {
        std::wstring argument = text;
        PauseTime = 9;
        uint32_t lines = 5;
        EXPECT_EQ(ParsePageOption(argument.data(), &lines), 0) << text;
        EXPECT_EQ(lines, 5u);
        EXPECT_EQ(PauseTime, 9u);
        EXPECT_EQ(argument, text);
    }
    EXPECT_EQ(fake::Err, L"");
}

TEST_F(OutputTest, PageOptionWithoutArgumentsIsIgnored) {
    uint32_t lines = 5;
    EXPECT_EQ(ParsePageOption(nullptr, &lines), 0);
    std::wstring argument = L"/P5";
    EXPECT_EQ(ParsePageOption(argument.data(), nullptr), 0);
    EXPECT_EQ(lines, 5u);
}

TEST_F(OutputTest, ErrorsGoToStandardErrorBehindBatchPrefix) {
    fake::Variables[L"_batch"] = L"1";
    fake::Variables[L"_batchname"] = L"run.btm";
    fake::Variables[L"_batchline"] = L"7";
    std::wstring argument = L"/px";
    uint32_t lines = 0;
    EXPECT_EQ(ParsePageOption(argument.data(), &lines), 1);
    EXPECT_EQ(fake::Err, L"DNS plugin: run.btm [7]  Syntax error: \"/PX\"\r\n");
}

} // namespace
