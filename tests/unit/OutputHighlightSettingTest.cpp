// The Highlight setting: default colours, the setting's text forms, and where it is read from.
#include <string>

#include "dns/output/HighlightSetting.h"
#include "tests/unit/OutputFixture.h"

namespace {
constexpr wchar_t PluginKey[] = L"SOFTWARE\\QuellPlugins\\DNS";
constexpr wchar_t CommonKey[] = L"SOFTWARE\\QuellPlugins";
constexpr uint32_t OtherType = 4; // a number, not a plain string

struct Slots {
    int normal, highlight, normalReverse, highlightReverse, contrast, contrastReverse;
    bool operator==(const Slots&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Slots& s) {
    return out << std::hex << s.normal << ' ' << s.highlight << ' ' << s.normalReverse << ' '
               << s.highlightReverse << ' ' << s.contrast << ' ' << s.contrastReverse;
}
Slots Current() {
    return {ColorNormal,           ColorHighlight, ColorNormalReverse,
            ColorHighlightReverse, ColorContrast,  ColorContrastReverse};
}
constexpr Slots Off{0, 0, 0, 0, 0, 0};

class HighlightSettingTest : public OutputTest {
  protected:
    void SetUp() override {
        OutputTest::SetUp();
        fake::ColorNames = {{L"bright red on blue", {12, 1}},
                            {L"yellow", {14, -1}},
                            {L"white", {7, -1}},
                            {L"black", {0, -1}},
                            {L"red on 64", {12, 64}},
                            {L"nothing on 64", {-1, 64}},
                            {L"white on black", {7, 0}},
                            {L"red on red", {4, 4}}};
    }
    static void Registry(SettingsRoot root, const wchar_t* key, std::wstring text,
                         uint32_t type = SettingsTypeString) {
        fake::Registry[{root, key, L"Highlight"}] = {type, std::move(text)};
    }
};

// ---- Defaults and text forms ----
struct SettingCase {
    const char* name;
    int normal;
    const wchar_t* setting; // the environment variable, or null
    int result;
    Slots slots;
};
class HighlightFormTest : public HighlightSettingTest,
                          public ::testing::WithParamInterface<SettingCase> {};

TEST_P(HighlightFormTest, FillsSlots) {
    const SettingCase& c = GetParam();
    fake::HostAttribute = c.normal;
    if (c.setting != nullptr) fake::Environment[L"Highlight"] = c.setting;
    EXPECT_EQ(LoadHighlightSetting(0), c.result);
    EXPECT_EQ(Current(), c.slots);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, HighlightFormTest,
    ::testing::Values(
        SettingCase{"Default07", 0x07, nullptr, 0x0F, {0x07, 0x0F, 0x70, 0xF0, 0x0E, 0xE0}},
        SettingCase{"Default1F", 0x1F, nullptr, 0x1B, {0x1F, 0x1B, 0xF1, 0xB1, 0x16, 0x61}},
        SettingCase{"Default70", 0x70, nullptr, 0x79, {0x70, 0x79, 0x07, 0x97, 0x74, 0x47}},
        SettingCase{"Default1E", 0x1E, nullptr, 0x1F, {0x1E, 0x1F, 0xE1, 0xF1, 0x1B, 0xB1}},
        SettingCase{
            "DefaultIntenseBackground", 0x86, nullptr, 0x8F, {0x86, 0x8F, 0x68, 0xF8, 0x8B, 0xB8}},
        SettingCase{
            "HostBitsAbove8Ignored", 0x307, nullptr, 0x0F, {0x07, 0x0F, 0x70, 0xF0, 0x0E, 0xE0}},
        SettingCase{"Inverse", 0x07, L"inv", 0x70, {0x07, 0x70, 0x70, 0x07, 0x0F, 0xF0}},
        SettingCase{"InverseWord", 0x07, L"Inverse", 0x70, {0x07, 0x70, 0x70, 0x07, 0x0F, 0xF0}},
        SettingCase{"InverseUpper", 0x07, L"INV", 0x70, {0x07, 0x70, 0x70, 0x07, 0x0F, 0xF0}},
        SettingCase{
            "InverseDropsIntensity", 0x1F, L"inv", 0x71, {0x1F, 0x71, 0xF1, 0x17, 0x1B, 0xB1}},
        SettingCase{"Hex1E", 0x07, L"0x1E", 0x1E, {0x07, 0x1E, 0x70, 0xE1, 0x0F, 0xF0}},
        SettingCase{"HexUpperPrefix", 0x07, L"0X1e", 0x1E, {0x07, 0x1E, 0x70, 0xE1, 0x0F, 0xF0}},
        SettingCase{"HexForegroundOnly", 0x07, L"0x0C", 0x0C, {0x07, 0x0C, 0x70, 0xC0, 0x0F, 0xF0}},
        SettingCase{"HexSameAsNormal", 0x07, L"0x07", 0, Off},
        SettingCase{"HexSameFgBg", 0x07, L"0x11", 0, Off},
        SettingCase{"HexTrailingCharacter", 0x07, L"0x1G", 0, Off},
        SettingCase{"HexNoDigits", 0x07, L"0x", 0, Off},
        SettingCase{"HexOverflow", 0x07, L"0x100000000", 0, Off},
        SettingCase{
            "HexBackground64IsNone", 0x07, L"0x40C", 0x0C, {0x07, 0x0C, 0x70, 0xC0, 0x0F, 0xF0}},
        SettingCase{
            "Names", 0x07, L"bright red on blue", 0x1C, {0x07, 0x1C, 0x70, 0xC1, 0x0F, 0xF0}},
        SettingCase{
            "NameForegroundOnly", 0x07, L"yellow", 0x0E, {0x07, 0x0E, 0x70, 0xE0, 0x0F, 0xF0}},
        SettingCase{"NameForegroundIsNormal", 0x07, L"white", 0, Off},
        SettingCase{"NameForegroundIsBackground", 0x07, L"black", 0, Off},
        SettingCase{
            "NameBackground64", 0x07, L"red on 64", 0x0C, {0x07, 0x0C, 0x70, 0xC0, 0x0F, 0xF0}},
        SettingCase{"NameNothingOn64", 0x07, L"nothing on 64", 0, Off},
        SettingCase{"NameSameAsNormal", 0x07, L"white on black", 0, Off},
        SettingCase{"NameSameFgBg", 0x07, L"red on red", 0, Off},
        SettingCase{"UnknownName", 0x07, L"mauve", 0, Off},
        SettingCase{"Normal77", 0x77, nullptr, 0, Off},
        SettingCase{"Normal77WithSetting", 0x77, L"0x1E", 0, Off},
        SettingCase{"Normal00", 0x00, nullptr, 0, Off},
        SettingCase{"Normal00WithSetting", 0x00, L"inv", 0, Off}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HighlightSettingTest, DisableTurnsOffAndClearsEarlierSlots) {
    HighlightOn();
    EXPECT_EQ(LoadHighlightSetting(1), 0);
    EXPECT_EQ(Current(), Off);
}

TEST_F(HighlightSettingTest, OffWhenOutputIsNotConsole) {
    HighlightOn();
    fake::StdoutIsConsole = false;
    EXPECT_EQ(LoadHighlightSetting(0), 0);
    EXPECT_EQ(Current(), Off);
}

// ---- Sources ----
TEST_F(HighlightSettingTest, EnvironmentWinsOverRegistry) {
    fake::Environment[L"Highlight"] = L"inv";
    Registry(SettingsRoot::CurrentUser, PluginKey, L"0x1E");
    EXPECT_EQ(LoadHighlightSetting(0), 0x70);
}

TEST_F(HighlightSettingTest, EmptyEnvironmentCountsAsUnset) {
    fake::Environment[L"Highlight"] = L"";
    Registry(SettingsRoot::CurrentUser, PluginKey, L"0x1E");
    EXPECT_EQ(LoadHighlightSetting(0), 0x1E);
}

TEST_F(HighlightSettingTest, OverlongEnvironmentCountsAsUnset) {
    fake::Environment[L"Highlight"] = std::wstring(1024, L'x');
    Registry(SettingsRoot::CurrentUser, PluginKey, L"0x1E");
    EXPECT_EQ(LoadHighlightSetting(0), 0x1E);
    fake::Environment[L"Highlight"] = std::wstring(1023, L'x'); // fits, and is unusable
    EXPECT_EQ(LoadHighlightSetting(0), 0);
}

TEST_F(HighlightSettingTest, RegistryPrecedence) {
    Registry(SettingsRoot::LocalMachine, CommonKey, L"0x1A");
    EXPECT_EQ(LoadHighlightSetting(0), 0x1A);
    Registry(SettingsRoot::CurrentUser, CommonKey, L"0x1B");
    EXPECT_EQ(LoadHighlightSetting(0), 0x1B);
    Registry(SettingsRoot::LocalMachine, PluginKey, L"0x1C");
    EXPECT_EQ(LoadHighlightSetting(0), 0x1C);
    Registry(SettingsRoot::CurrentUser, PluginKey, L"0x1D");
    EXPECT_EQ(LoadHighlightSetting(0), 0x1D);
}

TEST_F(HighlightSettingTest, NonStringEmptyAndOverlongValuesArePassedOver) {
    Registry(SettingsRoot::CurrentUser, PluginKey, L"0x1D", OtherType);
    Registry(SettingsRoot::LocalMachine, PluginKey, L"");
    Registry(SettingsRoot::CurrentUser, CommonKey, std::wstring(1024, L'y'));
    Registry(SettingsRoot::LocalMachine, CommonKey, L"yellow");
    EXPECT_EQ(LoadHighlightSetting(0), 0x0E);
}

TEST_F(HighlightSettingTest, UnusableTextDoesNotFallBack) {
    Registry(SettingsRoot::CurrentUser, PluginKey, L"0x07");
    Registry(SettingsRoot::LocalMachine, PluginKey, L"0x1E");
    EXPECT_EQ(LoadHighlightSetting(0), 0);
    EXPECT_EQ(Current(), Off);
}

TEST_F(HighlightSettingTest, SlotsFollowTheHostColourOfEachRun) {
    EXPECT_EQ(LoadHighlightSetting(0), 0x0F);
    fake::HostAttribute = 0x70;
    EXPECT_EQ(LoadHighlightSetting(0), 0x79);
    EXPECT_EQ(ColorNormal, 0x70);
}

} // namespace
