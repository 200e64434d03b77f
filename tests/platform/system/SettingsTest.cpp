// Settings: environment variables and the two read-only settings files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/system/Settings.h"

namespace {
constexpr wchar_t PluginKey[] = L"SOFTWARE\\QuellPlugins\\DNS";
constexpr wchar_t CommonKey[] = L"SOFTWARE\\QuellPlugins";

class SettingsFileTest : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("corvane-settings-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        setenv("CORVANE_USER_SETTINGS", (dir / "user.ini").c_str(), 1);
        setenv("CORVANE_MACHINE_SETTINGS", (dir / "machine.ini").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("CORVANE_USER_SETTINGS");
        unsetenv("CORVANE_MACHINE_SETTINGS");
        std::filesystem::remove_all(dir);
    }
    void Write(const char* name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    // Reads a value into a buffer of capacity wide characters; the text, or "<absent>".
    static std::wstring Read(SettingsRoot root, const wchar_t* key, const wchar_t* value,
                             uint32_t* type = nullptr, size_t capacity = 1024) {
        std::wstring buffer(capacity, L'#');
        uint32_t bytes = static_cast<uint32_t>(capacity * sizeof(wchar_t));
        uint32_t kind = 0;
        if (!SettingsReadValue(root, key, value, buffer.data(), &bytes, &kind)) return L"<absent>";
        if (type != nullptr) *type = kind;
        if (kind != SettingsTypeString) return L"<number>";
        EXPECT_EQ(bytes % sizeof(wchar_t), 0u);
        buffer.resize(bytes / sizeof(wchar_t));
        EXPECT_EQ(buffer.back(), L'\0');
        buffer.pop_back();
        return buffer;
    }
};

TEST_F(SettingsFileTest, ReadsStringValuesOfTheNamedSection) {
    Write("user.ini", "; comment\n[SOFTWARE\\QuellPlugins\\DNS]\nHighlight = bright red\n"
                      "[SOFTWARE\\QuellPlugins]\r\nHighlight=0x1E\r\nOther = \"  padded \"\r\n");
    uint32_t type = 0;
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, PluginKey, L"Highlight", &type), L"bright red");
    EXPECT_EQ(type, SettingsTypeString);
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, CommonKey, L"Highlight"), L"0x1E");
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, CommonKey, L"Other"), L"  padded ");
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, CommonKey, L"Missing"), L"<absent>");
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, L"SOFTWARE\\Else", L"Highlight"), L"<absent>");
    EXPECT_EQ(Read(SettingsRoot::LocalMachine, PluginKey, L"Highlight"), L"<absent>");
}

TEST_F(SettingsFileTest, NamesAreCaseBlindAndTextIsUtf8) {
    Write("machine.ini",
          "\xEF\xBB\xBF[software\\quellplugins\\dns]\n  HIGHLIGHT  =  gr\xC3\xBCn\n");
    EXPECT_EQ(Read(SettingsRoot::LocalMachine, PluginKey, L"Highlight"), L"gr\u00fcn");
}

TEST_F(SettingsFileTest, NumbersHaveAnotherType) {
    Write("user.ini", "[SOFTWARE\\QuellPlugins]\nHighlight = dword:0000001e\nBad = dword:xyz\n");
    uint32_t type = 0;
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, CommonKey, L"Highlight", &type), L"<number>");
    EXPECT_NE(type, SettingsTypeString);
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, CommonKey, L"Bad"), L"<absent>");
}

TEST_F(SettingsFileTest, ValueLongerThanTheBufferIsAbsent) {
    Write("user.ini", "[K]\nV = " + std::string(1023, 'x') + "\nW = " + std::string(1024, 'x'));
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, L"K", L"V").size(), 1023u);
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, L"K", L"W"), L"<absent>");
}

TEST_F(SettingsFileTest, MissingFileIsAbsent) {
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, PluginKey, L"Highlight"), L"<absent>");
}

TEST_F(SettingsFileTest, UserFileDefaultsToTheConfigDirectory) {
    unsetenv("CORVANE_USER_SETTINGS");
    std::filesystem::create_directories(dir / "corvane");
    Write("corvane/settings.ini", "[K]\nV = from xdg\n");
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, L"K", L"V"), L"from xdg");

    unsetenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome != nullptr ? oldHome : "";
    std::filesystem::create_directories(dir / ".config" / "corvane");
    Write(".config/corvane/settings.ini", "[K]\nV = from home\n");
    setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(Read(SettingsRoot::CurrentUser, L"K", L"V"), L"from home");

    if (oldHome != nullptr) setenv("HOME", savedHome.c_str(), 1);
    if (oldXdg != nullptr) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

TEST(SettingsEnvironment, CopiesWithinCapacity) {
    setenv("CORVANE_TEST_SETTING", "gr\xC3\xBCn", 1);
    wchar_t buffer[8];
    ASSERT_TRUE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 5));
    EXPECT_EQ(std::wstring(buffer), L"gr\u00fcn");
    EXPECT_FALSE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 4));
    setenv("CORVANE_TEST_SETTING", "", 1);
    ASSERT_TRUE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 8));
    EXPECT_EQ(buffer[0], L'\0');
    unsetenv("CORVANE_TEST_SETTING");
    EXPECT_FALSE(SettingsGetEnvironment(L"CORVANE_TEST_SETTING", buffer, 8));
}

} // namespace
