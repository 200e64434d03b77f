// The console service where no console is attached (CTest runs the programs with pipes).
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/console/Console.h"

namespace {

TEST(ConsoleWin, StandardHandlesAreTheSystemsOwn) {
    EXPECT_EQ(ConsoleStdOutput(), GetStdHandle(STD_OUTPUT_HANDLE));
    EXPECT_EQ(ConsoleStdError(), GetStdHandle(STD_ERROR_HANDLE));
}

TEST(ConsoleWin, PipeIsNoConsole) {
    if (GetConsoleWindow() != nullptr ||
        GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_PIPE)
        GTEST_SKIP() << "standard output is not a pipe here";
    uint32_t mode = 0xFFFFFFFFu;
    EXPECT_FALSE(ConsoleGetMode(ConsoleStdOutput(), &mode));
    ConsoleScreenInfo info{};
    EXPECT_FALSE(ConsoleGetScreenInfo(ConsoleStdOutput(), &info));
    EXPECT_FALSE(ConsoleGetMode(nullptr, &mode));
}

int Handled(uint32_t event) {
    return event <= 1 ? 1 : 0;
}

TEST(ConsoleWin, ControlHandlerIsRemovedOnlyByItsOwner) {
    EXPECT_TRUE(ConsoleSetCtrlHandler(Handled, true));
    EXPECT_FALSE(ConsoleSetCtrlHandler(nullptr, false));
    EXPECT_TRUE(ConsoleSetCtrlHandler(Handled, false));
    EXPECT_FALSE(ConsoleSetCtrlHandler(Handled, false));
}

} // namespace
