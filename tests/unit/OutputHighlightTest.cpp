// Highlighted output: colour runs written straight to the console, line ends through the
// pager, and the plain path when highlighting is off.
#include <string>

#include "tests/unit/OutputFixture.h"

namespace {
using outputtest::Erase;
using outputtest::Notice;
using outputtest::Prompt;

class HighlightTest : public OutputTest {
  protected:
    void SetUp() override {
        OutputTest::SetUp();
        HighlightOn();
    }
};

TEST_F(HighlightTest, NameHeaderLine) {
    EXPECT_EQ(HighlightPrintf(L"\r\n\x12%s\r\n", L"WWW.E2E.TEST"), 0);
    EXPECT_EQ(fake::Screen, L"<07>\r\n<0F>WWW.E2E.TEST<07>\r\n");
    EXPECT_EQ(fake::Direct, L"WWW.E2E.TEST");
    EXPECT_EQ(fake::Out, L"\r\n\r\n");
    EXPECT_EQ(fake::ColorsSet, (std::vector<int>{0x07, 0x07}));
    EXPECT_EQ(fake::TtyYields, 2);
}

TEST_F(HighlightTest, OffGoesThroughPagedPrintfWithoutMarkup) {
    ColorNormal = 0;
    EXPECT_EQ(HighlightPrintf(L"\r\n\x12%s\r\n", L"WWW"), 0);
    EXPECT_EQ(fake::Screen, L"\r\nWWW\r\n");
    EXPECT_EQ(fake::Direct, L"");
    EXPECT_TRUE(fake::ColorsSet.empty());
}

TEST_F(HighlightTest, PendingBreakWritesOnlyTheNotice) {
    for (bool on : {true, false}) {
        fake::Screen.clear();
        ColorNormal = on ? 0x07 : 0;
        BreakFlag = 1;
        EXPECT_EQ(HighlightPrintf(L"no line feed %s", L"x"), OutputBreak);
        EXPECT_EQ(fake::Screen, Notice) << on;
    }
}

TEST_F(HighlightTest, NullAndEmptyFormats) {
    BreakFlag = 1;
    EXPECT_EQ(HighlightPrintf(L""), 0);
    EXPECT_EQ(HighlightPrintf(nullptr), OutputNoInput);
    EXPECT_EQ(fake::Screen, L"");
}

TEST_F(HighlightTest, TextEndingInColourRestoresNormalWithoutLineEnd) {
    PageLines = LinesLeft = 5;
    EXPECT_EQ(HighlightPrintf(L"a\x12"
                              L"b"),
              0);
    EXPECT_EQ(fake::Screen, L"<07>a<0F>b<07>");
    EXPECT_EQ(fake::ColorsSet, std::vector<int>{0x07});
    EXPECT_EQ(fake::Out, L"");
    EXPECT_EQ(LinesLeft, 5u);
}

TEST_F(HighlightTest, OnlyTheLastOfConsecutiveMarksCounts) {
    EXPECT_EQ(HighlightPrintf(L"\x12\x15x\x16\x14y"), 0);
    EXPECT_EQ(fake::Screen, L"<0E>x<F0>y<07>");
}

TEST_F(HighlightTest, MarkOfTheCurrentColourKeepsTheRun) {
    EXPECT_EQ(HighlightPrintf(L"a\x11"
                              L"b\x12\x12"
                              L"c"),
              0);
    EXPECT_EQ(fake::Screen, L"<07>ab<0F>c<07>");
}

TEST_F(HighlightTest, AllSixSlots) {
    EXPECT_EQ(HighlightPrintf(L"\x11"
                              L"1\x12"
                              L"2\x13"
                              L"3\x14"
                              L"4\x15"
                              L"5\x16"
                              L"6"),
              0);
    EXPECT_EQ(fake::Screen, L"<07>1<0F>2<70>3<F0>4<0E>5<E0>6<07>");
}

TEST_F(HighlightTest, EveryLineStartsInNormal) {
    EXPECT_EQ(HighlightPrintf(L"\x12"
                              L"a\nb\n"),
              0);
    EXPECT_EQ(fake::Screen, L"<0F>a<07>\r\n<07>b<07>\r\n");
}

TEST_F(HighlightTest, CarriageReturnInsideRunDropped) {
    EXPECT_EQ(HighlightPrintf(L"a\rb\r\nc\n"), 0);
    std::wstring first = fake::Screen;
    fake::Screen.clear();
    EXPECT_EQ(HighlightPrintf(L"ab\nc\n"), 0);
    EXPECT_EQ(fake::Screen, first);
    EXPECT_EQ(first, L"<07>ab<07>\r\n<07>c<07>\r\n");
}

TEST_F(HighlightTest, OtherControlCharactersStayInTheRun) {
    EXPECT_EQ(HighlightPrintf(L"a\x0B\x0C\x0E\x0F\x10z"), 0);
    EXPECT_EQ(fake::Direct, L"a\x0B\x0C\x0E\x0F\x10z");
}

TEST_F(HighlightTest, MarkupInsideArgumentsActs) {
    EXPECT_EQ(HighlightPrintf(L"%s|%u", L"x\x12y\nz", 7u), 0);
    EXPECT_EQ(fake::Screen, L"<07>x<0F>y<07>\r\n<07>z|7");
}

TEST_F(HighlightTest, EscapeAtPromptStopsAndRestoresColour) {
    PageLines = LinesLeft = 1;
    fake::Keys = {27};
    EXPECT_EQ(HighlightPrintf(L"\x12"
                              L"a\nb\n"),
              OutputBreak);
    // The line end puts the normal colour back before the prompt; the rest is not written.
    EXPECT_EQ(fake::Screen, L"<0F>a<07>\r\n" + Prompt + Erase + L"<07>");
    EXPECT_EQ(fake::ColorsSet, (std::vector<int>{0x07, 0x07}));
}

TEST_F(HighlightTest, CtrlCAtPromptWritesNoticeAndStops) {
    PageLines = LinesLeft = 1;
    fake::Keys = {3};
    EXPECT_EQ(HighlightPrintf(L"a\n\x12"
                              L"b"),
              OutputBreak);
    EXPECT_EQ(fake::Screen, L"<07>a<07>\r\n" + Prompt + Erase + Notice);
    EXPECT_EQ(fake::ColorsSet, (std::vector<int>{0x07, 0x0F, 0x07}));
}

TEST_F(HighlightTest, LineEndsArePaged) {
    PageLines = LinesLeft = 2;
    fake::Keys = {'c'};
    EXPECT_EQ(HighlightPrintf(L"1\n2\n3\n4\n"), 0);
    EXPECT_EQ(fake::Direct, L"12" + Prompt + Erase + L"34");
}

TEST_F(HighlightTest, OutOfMemoryWritesNothing) {
    for (int allowed : {0, 1}) {
        outputtest::NothrowArraysLeft = allowed;
        EXPECT_EQ(HighlightPrintf(L"\x12%s\n", L"x"), OutputNoMemory);
    }
    ColorNormal = 0;
    outputtest::NothrowArraysLeft = 0;
    EXPECT_EQ(HighlightPrintf(L"plain\n"), OutputNoMemory);
    EXPECT_EQ(fake::Screen, L"");
}

TEST_F(HighlightTest, WriteColorRun) {
    EXPECT_EQ(WriteColorRun(0x0F, nullptr), OutputNoInput);
    EXPECT_EQ(fake::Screen, L"");
    EXPECT_EQ(WriteColorRun(0x1234, L"run"), 0);
    EXPECT_EQ(fake::Screen, L"<34>run");
    EXPECT_EQ(fake::Out, L"");
    EXPECT_TRUE(fake::ColorsSet.empty());
}

} // namespace
