// The Highlight setting: decides once per DNS run whether output is coloured and fills the
// six colour slots from the host's current colour and the user's setting.
#include "dns/output/HighlightSetting.h"

#include <cstddef>

#include "dns/frame/HostApi.h"
#include "dns/frame/Plugin.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "platform/console/Console.h"
#include "platform/system/Settings.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Text.h"

namespace {
constexpr size_t SettingChars = 1024;
constexpr wchar_t CommonKey[] = L"SOFTWARE\\QuellPlugins";
constexpr wchar_t ValueName[] = L"Highlight";

uint8_t Swapped(uint8_t attribute) {
    return static_cast<uint8_t>((attribute << 4) | (attribute >> 4));
}

// A plain, non-empty string value of at most SettingChars - 1 characters.
bool ReadRegistryText(SettingsRoot root, const wchar_t* key, wchar_t (&text)[SettingChars]) {
    uint32_t bytes = sizeof text;
    uint32_t type = 0;
    if (!SettingsReadValue(root, key, ValueName, text, &bytes, &type)) return false;
    if (type != SettingsTypeString) return false;
    // The stored bytes need not carry a terminator; never read past what was stored.
    size_t stored = bytes / sizeof(wchar_t);
    text[stored < SettingChars ? stored : SettingChars - 1] = L'\0';
    return text[0] != L'\0';
}

bool FindSettingText(wchar_t (&text)[SettingChars]) {
    if (SettingsGetEnvironment(ValueName, text, SettingChars) && text[0] != L'\0') return true;
    wchar_t pluginKey[256];
    if (FormatWide(pluginKey, 256, L"%s\\%s", CommonKey, PluginName) > 0) {
        if (ReadRegistryText(SettingsRoot::CurrentUser, pluginKey, text)) return true;
        if (ReadRegistryText(SettingsRoot::LocalMachine, pluginKey, text)) return true;
    }
    return ReadRegistryText(SettingsRoot::CurrentUser, CommonKey, text) ||
           ReadRegistryText(SettingsRoot::LocalMachine, CommonKey, text);
}

// Hex digits only, up to the end of the text, within 32 bits.
bool ParseHexAttribute(const wchar_t* text, uint32_t* value) {
    uint64_t v = 0;
    if (*text == L'\0') return false;
    for (; *text != L'\0'; ++text) {
        wchar_t c = *text;
        unsigned digit;
        if (c >= L'0' && c <= L'9')
            digit = static_cast<unsigned>(c - L'0');
        else if (c >= L'a' && c <= L'f')
            digit = static_cast<unsigned>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F')
            digit = static_cast<unsigned>(c - L'A' + 10);
        else
            return false;
        v = v * 16 + digit;
        if (v > 0xFFFFFFFFu) return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

// The highlight colour the setting text asks for, or -1 when the text is unusable.
int HighlightFromText(const wchar_t* text, int F, int B) {
    int f = -1, b = -1;
    if (StartsWithName(text, L"inv")) {
        f = B;
        b = F & 7;
    } else if (StartsWithName(text, L"0x")) {
        uint32_t v = 0;
        if (ParseHexAttribute(text + 2, &v)) {
            f = static_cast<int>(v & 15);
            b = static_cast<int>(v >> 4);
        }
    } else {
        ParseColors(text, &f, &b);
    }

    if (b == 64) {
        if (f < 0) return -1;
        if (f <= 15) b = -1;
    }
    if (f < 0) return -1;
    if (b >= 0 && f != b && !(f == F && b == B)) return ((b << 4) | f) & 0xFF;
    // Only a foreground alone is usable, on the normal background.
    if (b != -1 || f == F || f == B) return -1;
    return ((B << 4) | f) & 0xFF;
}
} // namespace

uint8_t LoadHighlightSetting(int disable) {
    ColorNormal = ColorHighlight = ColorNormalReverse = ColorHighlightReverse = ColorContrast =
        ColorContrastReverse = 0;
    if (disable != 0) return 0;

    uint32_t mode = 0xFFFFFFFF;
    if (!ConsoleGetMode(ConsoleStdOutput(), &mode) || mode == 0xFFFFFFFF) return 0;

    int attribute = 0, unused = 0;
    GetAttribute(&attribute, &unused);
    const uint8_t N = static_cast<uint8_t>(attribute & 0xFF);
    const int F = N & 15;
    const int B = N >> 4;
    if (F == B) return 0;

    uint8_t H;
    wchar_t text[SettingChars] = {};
    if (!FindSettingText(text)) {
        if ((F & 8) == 0 && (B & 8) == 0 && F != 0) {
            H = static_cast<uint8_t>(N | 8);
        } else {
            H = ContrastColors[0][B];
            if (H == N) H = ContrastColors[1][B];
        }
    } else {
        int fromText = HighlightFromText(text, F, B);
        if (fromText < 0) return 0;
        H = static_cast<uint8_t>(fromText);
    }

    uint8_t contrast = ContrastColors[0][B];
    if (contrast == N || contrast == H) contrast = ContrastColors[1][B];
    if (contrast == N || contrast == H) contrast = ContrastColors[2][B];

    ColorNormal = N;
    ColorHighlight = H;
    ColorNormalReverse = Swapped(N);
    ColorHighlightReverse = Swapped(H);
    ColorContrast = contrast;
    ColorContrastReverse = Swapped(contrast);
    return H;
}
