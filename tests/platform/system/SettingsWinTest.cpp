// The registry and environment as the Highlight setting reads them, against a key of the test's
// own under HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/system/Settings.h"

namespace {

constexpr wchar_t TestKey[] = L"SOFTWARE\\CorvaneTests\\Settings";

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, TestKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, TestKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_CURRENT_USER, TestKey);
    }
    void SetString(const wchar_t* name, const std::wstring& text) {
        DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 bytes),
                  ERROR_SUCCESS);
    }
    HKEY key = nullptr;
};

TEST_F(RegistryTest, StringValueWithItsTypeAndSize) {
    SetString(L"Highlight", L"bright yellow on blue");
    wchar_t buffer[1024] = {};
    uint32_t bytes = sizeof buffer, type = 0;
    ASSERT_TRUE(
        SettingsReadValue(SettingsRoot::CurrentUser, TestKey, L"Highlight", buffer, &bytes, &type));
    EXPECT_EQ(type, SettingsTypeString);
    EXPECT_EQ(bytes, 22 * sizeof(wchar_t));
    EXPECT_STREQ(buffer, L"bright yellow on blue");
    // Value names are case-blind.
    bytes = sizeof buffer;
    EXPECT_TRUE(
        SettingsReadValue(SettingsRoot::CurrentUser, TestKey, L"HIGHLIGHT", buffer, &bytes, &type));
}

TEST_F(RegistryTest, OtherTypesComeWithTheirType) {
    DWORD number = 0x1E;
    ASSERT_EQ(RegSetValueExW(key, L"Highlight", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    wchar_t buffer[1024] = {};
    uint32_t bytes = sizeof buffer, type = 0;
    ASSERT_TRUE(
        SettingsReadValue(SettingsRoot::CurrentUser, TestKey, L"Highlight", buffer, &bytes, &type));
    EXPECT_EQ(type, uint32_t(REG_DWORD));
}

TEST_F(RegistryTest, MissingOrTooLongIsAbsent) {
    wchar_t buffer[1024] = {};
    uint32_t bytes = sizeof buffer, type = 0;
    EXPECT_FALSE(
        SettingsReadValue(SettingsRoot::CurrentUser, TestKey, L"Highlight", buffer, &bytes, &type));
    EXPECT_FALSE(SettingsReadValue(SettingsRoot::CurrentUser, L"SOFTWARE\\CorvaneTests\\None",
                                   L"Highlight", buffer, &bytes, &type));
    // 1024 characters and the terminator need 2050 bytes: more than the 2048 there are.
    SetString(L"Highlight", std::wstring(1024, L'x'));
    bytes = sizeof buffer;
    EXPECT_FALSE(
        SettingsReadValue(SettingsRoot::CurrentUser, TestKey, L"Highlight", buffer, &bytes, &type));
    SetString(L"Highlight", std::wstring(1023, L'x'));
    bytes = sizeof buffer;
    EXPECT_TRUE(
        SettingsReadValue(SettingsRoot::CurrentUser, TestKey, L"Highlight", buffer, &bytes, &type));
}

TEST(EnvironmentWin, CopiesWithinCapacity) {
    SetEnvironmentVariableW(L"CORVANE_TEST_SETTING", L"gr\u00fcn");
    wchar_t buffer[8];
    ASSERT_TRUE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 5));
    EXPECT_STREQ(buffer, L"gr\u00fcn");
    EXPECT_FALSE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 4));
    SetEnvironmentVariableW(L"CORVANE_TEST_SETTING", nullptr);
    EXPECT_FALSE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 8));
}

} // namespace
