// The POSIX system message texts: the Windows texts of the codes the DNS client gives.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "platform/system/Messages.h"

namespace {

constexpr size_t StatusTextSize = 1024;

TEST(SystemMessageTest, KnownTextsEndInALineBreak) {
    for (uint32_t code : {0u, 8u, 87u, 123u, 1460u, 9001u, 9002u, 9003u, 9004u, 9005u, 9006u, 9010u,
                          9501u, 9502u, 9503u, 9504u}) {
        wchar_t text[StatusTextSize] = {};
        size_t n = SystemMessageText(code, text, StatusTextSize);
        ASSERT_GT(n, 2u) << code;
        EXPECT_EQ(n, std::wcslen(text));
        EXPECT_EQ(std::wstring(text + n - 3), L".\r\n") << code;
    }
}

TEST(SystemMessageTest, UnknownCodeOrNoRoomGivesNothing) {
    wchar_t text[8] = L"keep";
    EXPECT_EQ(SystemMessageText(4242, text, 8), 0u);
    EXPECT_EQ(SystemMessageText(9003, text, 8), 0u) << "does not fit";
    EXPECT_EQ(SystemMessageText(9003, nullptr, 0), 0u);
}

} // namespace
