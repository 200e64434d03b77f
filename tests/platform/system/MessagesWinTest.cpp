// System message texts through FormatMessageW.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>

#include "platform/system/Messages.h"

namespace {

TEST(SystemMessageTextWin, OneLineWithoutInsertsOrBreaks) {
    wchar_t text[1024];
    size_t n = SystemMessageText(ERROR_FILE_NOT_FOUND, text, 1024);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::wcslen(text), n);
    EXPECT_EQ(std::wcschr(text, L'\n'), nullptr);
    EXPECT_EQ(std::wcschr(text, L'\r'), nullptr);
}

TEST(SystemMessageTextWin, CodeWithoutTextGivesNothing) {
    wchar_t text[1024] = {L'x'};
    EXPECT_EQ(SystemMessageText(0x2000DEADu, text, 1024), 0u);
    EXPECT_EQ(text[0], L'\0');
}

} // namespace
