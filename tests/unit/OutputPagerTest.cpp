// The pager: line counting, the prompt and its keys, the timed pause, the break notice,
// PagedPrintf and the page length.
#include <cstdint>
#include <deque>
#include <new>
#include <string>

#include "tests/unit/OutputFixture.h"

int outputtest::NothrowArraysLeft = -1;

// The output engine allocates its work buffers with new(std::nothrow); this lets tests make
// those allocations fail. Everything else allocates as usual.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (outputtest::NothrowArraysLeft == 0) return nullptr;
    if (outputtest::NothrowArraysLeft > 0) --outputtest::NothrowArraysLeft;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {
using outputtest::Erase;
using outputtest::Notice;
using outputtest::Prompt;

class PagerTest : public OutputTest {
  protected:
    static void Paging(uint32_t lines) { PageLines = LinesLeft = lines; }
    // Line ends until the first prompt; returns how many were written without one.
    static int LinesBeforePrompt(int limit = 2000) {
        for (int i = 1; i <= limit; ++i) {
            size_t before = fake::Direct.size();
            EndOfLine();
            if (fake::Direct.size() != before) return i;
        }
        return -1;
    }
};

TEST_F(PagerTest, PromptsAfterExactlyPageLinesLineEnds) {
    Paging(20);
    fake::Keys = {' '};
    EXPECT_EQ(LinesBeforePrompt(), 20);
    EXPECT_EQ(fake::Direct, Prompt + Erase);
    std::wstring lineEnds;
    for (int i = 0; i < 20; ++i)
        lineEnds += L"\r\n";
    EXPECT_EQ(fake::Out, lineEnds);
    EXPECT_EQ(LinesLeft, 20u);
}

TEST_F(PagerTest, NoPagingNeverPrompts) {
    EXPECT_EQ(LinesBeforePrompt(500), -1);
    EXPECT_EQ(fake::Direct, L"");
}

struct KeyCase {
    const char* name;
    uint32_t pageLines;
    std::deque<int> keys;
    int result;
    uint32_t linesLeft;
    uint32_t pageLinesAfter;
    bool notice;
};

class PagerKeyTest : public PagerTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(PagerKeyTest, KeyDecidesWhatFollows) {
    const KeyCase& c = GetParam();
    Paging(c.pageLines);
    LinesLeft = 1;
    fake::Keys = c.keys;
    EXPECT_EQ(EndOfLine(), c.result);
    EXPECT_EQ(LinesLeft, c.linesLeft);
    EXPECT_EQ(PageLines, c.pageLinesAfter);
    std::wstring expected = L"\r\n" + Prompt + Erase + (c.notice ? Notice : L"");
    EXPECT_EQ(fake::Screen, expected);
    EXPECT_TRUE(fake::Keys.empty()) << "an extended key's second code is consumed";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, PagerKeyTest,
    ::testing::Values(
        KeyCase{"Blank", 20, {' '}, 0, 20, 20, false},
        KeyCase{"Digit5", 20, {'5'}, 0, 5, 20, false},
        KeyCase{"Digit1", 20, {'1'}, 0, 1, 20, false},
        KeyCase{"Digit9", 20, {'9'}, 0, 9, 20, false}, KeyCase{"Zero", 20, {'0'}, 0, 10, 20, false},
        KeyCase{"ZeroOnSmallPage", 3, {'0'}, 0, 10, 3, false},
        KeyCase{"Slash", 20, {'/'}, 0, 10, 20, false},
        KeyCase{"SlashOddPage", 3, {'/'}, 0, 1, 3, false},
        KeyCase{"LowerA", 20, {'a'}, 0, 0, 0, false}, KeyCase{"UpperA", 20, {'A'}, 0, 0, 0, false},
        KeyCase{"LowerC", 20, {'c'}, 0, 0, 0, false}, KeyCase{"UpperC", 20, {'C'}, 0, 0, 0, false},
        KeyCase{"OtherLetter", 20, {'x'}, 0, 20, 20, false},
        KeyCase{"Enter", 20, {13}, 0, 20, 20, false},
        KeyCase{"ExtendedUp", 20, {0xE0, 72}, 0, 20, 20, false},
        KeyCase{"ExtendedF1", 20, {0, 59}, 0, 20, 20, false},
        // The second code of an extended key is not read as a key of its own.
        KeyCase{"ExtendedSecondCode3", 20, {0xE0, 3}, 0, 20, 20, false},
        KeyCase{"ExtendedSecondCodeA", 20, {0, 'A'}, 0, 20, 20, false},
        KeyCase{"Escape", 20, {27}, -3, 20, 20, false},
        KeyCase{"CtrlC", 20, {3}, -3, 20, 20, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PagerTest, DigitHoldsOnlyUntilTheNextPrompt) {
    Paging(20);
    fake::Keys = {'5', ' ', ' '};
    EXPECT_EQ(LinesBeforePrompt(), 20);
    EXPECT_EQ(LinesBeforePrompt(), 5);
    EXPECT_EQ(LinesBeforePrompt(), 20);
}

TEST_F(PagerTest, AllKeyEndsPromptsForTheRun) {
    Paging(4);
    fake::Keys = {'a'};
    EXPECT_EQ(LinesBeforePrompt(), 4);
    EXPECT_EQ(LinesBeforePrompt(300), -1);
}

TEST_F(PagerTest, BreakFlagAtLineEndWritesNoticeInsteadOfPrompt) {
    Paging(20);
    LinesLeft = 1;
    BreakFlag = 1;
    EXPECT_EQ(EndOfLine(), OutputBreak);
    EXPECT_EQ(fake::Screen, L"\r\n" + Notice);
    EXPECT_EQ(fake::ColorsSet, (std::vector<int>{0x0F, 0x07}));
    EXPECT_EQ(LinesLeft, 1u);
}

TEST_F(PagerTest, LineEndRestoresNormalColourWhenHighlighting) {
    HighlightOn();
    EXPECT_EQ(EndOfLine(), 0);
    EXPECT_EQ(fake::Screen, L"<07>\r\n");
    EXPECT_EQ(fake::ColorsSet, std::vector<int>{0x07});
    EXPECT_EQ(fake::TtyYields, 1);
}

TEST_F(PagerTest, PlainLineEndTouchesNoColour) {
    EXPECT_EQ(EndOfLine(), 0);
    EXPECT_EQ(fake::Screen, L"\r\n");
    EXPECT_TRUE(fake::ColorsSet.empty());
    EXPECT_EQ(fake::TtyYields, 0);
}

// ---- Break notice colour ----
struct NoticeCase {
    uint16_t attribute;
    bool infoFails;
    uint16_t notice;
    uint16_t previous;
};
class NoticeColorTest : public OutputTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(NoticeColorTest, ContrastsWithTheConsoleColour) {
    const NoticeCase& c = GetParam();
    fake::Window.Attributes = c.attribute;
    fake::ScreenInfoFails = c.infoFails;
    EXPECT_EQ(SetNoticeColor(), c.previous);
    EXPECT_EQ(fake::AttributeChanges, std::vector<uint16_t>{c.notice});
    EXPECT_EQ(fake::ColorsSet, std::vector<int>{c.notice});
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, NoticeColorTest,
    ::testing::Values(NoticeCase{0x07, false, 0x0F, 0x07}, NoticeCase{0x00, false, 0x0F, 0x07},
                      NoticeCase{0x07, true, 0x0F, 0x07}, NoticeCase{0x70, false, 0x79, 0x70},
                      NoticeCase{0x1F, false, 0x1B, 0x1F}, NoticeCase{0x1E, false, 0x1F, 0x1E},
                      NoticeCase{0x1F3, false, 0xF2, 0xF3}));

// The host is told the restored colour as well, so that it does not keep the notice colour
// as its own.
TEST_F(OutputTest, BreakNoticeRestoresAttributeOnConsoleAndHost) {
    fake::Window.Attributes = 0x1E;
    WriteBreakNotice();
    EXPECT_EQ(fake::Screen, L"<1F>\r ^C \n<1E>");
    EXPECT_EQ(fake::ColorsSet, (std::vector<int>{0x1F, 0x1E}));
}

TEST_F(OutputTest, ContrastTableKeepsBackground) {
    for (int row = 0; row < 3; ++row)
        for (int background = 0; background < 16; ++background) {
            EXPECT_EQ(ContrastColors[row][background] >> 4, background);
            EXPECT_NE(ContrastColors[row][background] & 15, background);
        }
    EXPECT_EQ(ContrastColors[0][15], 0xF2);
    EXPECT_EQ(ContrastColors[1][10], 0xA9);
    EXPECT_EQ(ContrastColors[2][13], 0xD6);
}

// ---- Waiting for a key ----
class WaitTest : public OutputTest {};

TEST_F(WaitTest, WaitingKeyIsTakenWithoutSleeping) {
    fake::Keys = {'q'};
    uint32_t start = fake::Ticks;
    EXPECT_EQ(WaitForPageKey(), uint32_t{'q'});
    EXPECT_EQ(fake::Ticks, start);
}

TEST_F(WaitTest, ExtendedKeysGetTheOffset) {
    fake::Keys = {0xE0, 73, 0, 68};
    EXPECT_EQ(WaitForPageKey(), 0x10000u + 73);
    EXPECT_EQ(WaitForPageKey(), 0x10000u + 68);
}

// A break that came before the wait (while the prompt was being written) answers the prompt at
// once, before a key typed ahead, which stays for later.
TEST_F(WaitTest, BreakBeforeTheWaitIsTheAnswer) {
    for (std::deque<int> keys : {std::deque<int>{}, std::deque<int>{'x'}}) {
        BreakFlag = 1;
        fake::Keys = keys;
        uint32_t start = fake::Ticks;
        EXPECT_EQ(WaitForPageKey(), 3u);
        EXPECT_EQ(fake::Ticks, start);
        EXPECT_EQ(fake::Keys, keys);
        EXPECT_EQ(BreakFlag, 1);
    }
}

TEST_F(WaitTest, BreakDuringWaitEndsItWithinOnePoll) {
    int sleeps = 0;
    fake::OnSleep = [&] {
        if (++sleeps == 7) BreakFlag = 1;
    };
    EXPECT_EQ(WaitForPageKey(), 3u);
    EXPECT_EQ(sleeps, 7);
}

TEST_F(WaitTest, KeyArrivingLaterIsRead) {
    int sleeps = 0;
    fake::OnSleep = [&] {
        if (++sleeps == 30) fake::Keys = {'7'};
    };
    EXPECT_EQ(WaitForPageKey(), uint32_t{'7'});
    EXPECT_EQ(sleeps, 30);
}

struct PauseCase {
    const char* name;
    uint32_t startTicks;
    uint32_t pause;
    uint32_t expectedWait; // milliseconds until the blank comes
};
class PauseTest : public OutputTest, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(PauseTest, RunOutPauseYieldsBlank) {
    const PauseCase& c = GetParam();
    fake::Ticks = c.startTicks;
    PauseTime = c.pause;
    int sleeps = 0;
    fake::OnSleep = [&] {
        if (++sleeps > 100000) BreakFlag = 1; // a pause that never ends fails, not hangs
    };
    EXPECT_EQ(WaitForPageKey(), 32u);
    EXPECT_EQ(fake::Ticks - c.startTicks, c.expectedWait);
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, PauseTest,
    ::testing::Values(PauseCase{"HalfSecond", 1000, 500, 500},
                      PauseCase{"LooksOnlyEvery10ms", 1000, 505, 510},
                      PauseCase{"DeadlineWraps", 0xFFFFFF00u, 0x200, 520},
                      PauseCase{"DeadlineWrapsToZero", 0xFFFFFE0Cu, 500, 500},
                      // The deadline fits, but the counter steps over it while wrapping.
                      PauseCase{"CounterSkipsDeadlineAcrossWrap", 0xFFFFFFF0u, 0x0E, 20}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PagerTest, RunOutPauseErasesPromptAndGivesFullPage) {
    Paging(6);
    PauseTime = 300;
    EXPECT_EQ(LinesBeforePrompt(), 6);
    EXPECT_EQ(fake::Direct, Prompt + Erase);
    EXPECT_EQ(LinesLeft, 6u);
    EXPECT_EQ(LinesBeforePrompt(), 6);
}

// Ctrl-C or Ctrl-Break between the prompt's text and the key wait.
TEST_F(PagerTest, BreakWhilePromptIsWrittenIsNotLost) {
    Paging(2);
    LinesLeft = 1;
    fake::OnDirect = [] {
        if (fake::Direct.ends_with(Prompt)) BreakFlag = 1;
    };
    EXPECT_EQ(EndOfLine(), OutputBreak);
    EXPECT_EQ(fake::Screen, L"\r\n" + Prompt + Erase + Notice);
}

TEST_F(PagerTest, CtrlCDuringWaitWritesNotice) {
    Paging(2);
    LinesLeft = 1;
    fake::OnSleep = [] { BreakFlag = 1; };
    EXPECT_EQ(EndOfLine(), OutputBreak);
    EXPECT_EQ(fake::Screen, L"\r\n" + Prompt + Erase + Notice);
}

// ---- PagedPrintf ----
class PagedPrintfTest : public PagerTest {};

TEST_F(PagedPrintfTest, LineFeedBecomesOneLineEnd) {
    Paging(100);
    EXPECT_EQ(PagedPrintf(L"a\nb"), 0);
    EXPECT_EQ(fake::Out, L"a\r\nb");
    EXPECT_EQ(LinesLeft, 99u);
}

TEST_F(PagedPrintfTest, NullAndEmptyFormats) {
    EXPECT_EQ(PagedPrintf(nullptr), OutputNoInput);
    EXPECT_EQ(PagedPrintf(L""), 0);
    BreakFlag = 1;
    EXPECT_EQ(PagedPrintf(L""), 0);
    EXPECT_EQ(fake::Screen, L"");
}

TEST_F(PagedPrintfTest, CarriageReturnsAndMarkupNeverReachOutput) {
    EXPECT_EQ(PagedPrintf(L"\x11x\x12y\r\x13\x14\x15\x16z\r\n"), 0);
    EXPECT_EQ(fake::Out, L"xyz\r\n");
    EXPECT_EQ(fake::Screen, L"xyz\r\n");
}

TEST_F(PagedPrintfTest, OtherControlCharactersPass) {
    EXPECT_EQ(PagedPrintf(L"a\x10\x17\tb"), 0);
    EXPECT_EQ(fake::Out, L"a\x10\x17\tb");
}

TEST_F(PagedPrintfTest, ArgumentsActLikeFormatText) {
    EXPECT_EQ(PagedPrintf(L"%s|%u|%c", L"one\ntwo\x12", 42u, L'\u2500'), 0);
    EXPECT_EQ(fake::Out, L"one\r\ntwo|42|\u2500");
}

TEST_F(PagedPrintfTest, TextWithoutLineFeedNeverSeesBreak) {
    BreakFlag = 1;
    Paging(1);
    EXPECT_EQ(PagedPrintf(L"no line end"), 0);
    EXPECT_EQ(fake::Screen, L"no line end");
}

TEST_F(PagedPrintfTest, BreakStopsAtTheLineEnd) {
    BreakFlag = 1;
    EXPECT_EQ(PagedPrintf(L"x\ny\n"), OutputBreak);
    EXPECT_EQ(fake::Screen, L"x\r\n" + Notice);
}

TEST_F(PagedPrintfTest, EscapeAtPromptStopsTheRest) {
    Paging(2);
    fake::Keys = {27};
    EXPECT_EQ(PagedPrintf(L"1\n2\n3\n"), OutputBreak);
    EXPECT_EQ(fake::Out, L"1\r\n2\r\n");
}

TEST_F(PagedPrintfTest, EmptyLinesStillCount) {
    Paging(3);
    fake::Keys = {' '};
    EXPECT_EQ(PagedPrintf(L"\n\n\n"), 0);
    EXPECT_EQ(fake::Direct, Prompt + Erase);
}

TEST_F(PagedPrintfTest, LongTextIsWrittenWhole) {
    std::wstring big(100000, L'z');
    EXPECT_EQ(PagedPrintf(L"%s\n%s", big.c_str(), L"end"), 0);
    EXPECT_EQ(fake::Out, big + L"\r\nend");
}

TEST_F(PagedPrintfTest, OutOfMemoryWritesNothing) {
    for (int allowed : {0, 1}) {
        outputtest::NothrowArraysLeft = allowed;
        EXPECT_EQ(PagedPrintf(L"a\nb"), OutputNoMemory) << allowed;
    }
    EXPECT_EQ(fake::Screen, L"");
    outputtest::NothrowArraysLeft = 2;
    EXPECT_EQ(PagedPrintf(L"ok"), 0);
    EXPECT_EQ(fake::Screen, L"ok");
}

// ---- Page length ----
struct LengthCase {
    int rows;
    uint32_t requested;
    uint32_t expected;
};
class PageLengthTest : public OutputTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(PageLengthTest, FromWindowHeight) {
    const LengthCase& c = GetParam();
    fake::Window = ConsoleScreenInfo{0, 7, 79, static_cast<int16_t>(7 + c.rows - 1), 0x07};
    EXPECT_EQ(SetPageLength(c.requested), c.expected);
    EXPECT_EQ(PageLines, c.expected);
    EXPECT_EQ(LinesLeft, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Windows, PageLengthTest,
                         ::testing::Values(LengthCase{50, 0xFFFFFFFF, 48}, LengthCase{50, 10, 10},
                                           LengthCase{50, 49, 49}, LengthCase{50, 50, 48},
                                           LengthCase{50, 2, 48}, LengthCase{50, 0, 48},
                                           LengthCase{50, 3, 3}, LengthCase{50, 1000, 48},
                                           LengthCase{10, 0xFFFFFFFF, 8}, LengthCase{10, 9, 9},
                                           LengthCase{100, 99, 99}, LengthCase{100, 100, 98},
                                           LengthCase{9, 5, 0}, LengthCase{101, 5, 0},
                                           LengthCase{0, 5, 0}));

TEST_F(OutputTest, PageLengthOffWithoutConsole) {
    PageLines = LinesLeft = 7;
    fake::StdoutIsConsole = false;
    EXPECT_EQ(SetPageLength(20), 0u);
    EXPECT_EQ(PageLines, 0u);
    EXPECT_EQ(LinesLeft, 0u);
}

} // namespace
