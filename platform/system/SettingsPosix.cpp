// Settings: the process environment, and in place of the registry two read-only settings files
// in INI form, one per user and one for the machine (described in docs/settings.md).
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system/FileText.h"
#include "platform/system/Settings.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"
#include "platform/text/Text.h"

namespace {
constexpr uint32_t SettingsTypeDword = 4;
constexpr size_t MaxFileBytes = 1 << 20;

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

std::optional<std::string> SettingsPath(SettingsRoot root) {
    if (root == SettingsRoot::LocalMachine) {
        const char* path = NonEmptyEnv("CORVANE_MACHINE_SETTINGS");
        return std::string(path != nullptr ? path : "/etc/corvane/settings.ini");
    }
    if (const char* path = NonEmptyEnv("CORVANE_USER_SETTINGS")) return std::string(path);
    const char* config = NonEmptyEnv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/corvane/settings.ini";
    const char* home = NonEmptyEnv("HOME");
    if (home == nullptr) return std::nullopt;
    return std::string(home) + "/.config/corvane/settings.ini";
}

// A line of the file without the blanks around it, the line end's carriage return included.
std::string_view Trimmed(std::string_view text) {
    return Trim(text, IsLineBlank<char>);
}

// The raw text after "=" of the first line naming value in section key.
std::optional<std::string> FindEntry(const std::string& path, std::string_view key,
                                     std::string_view value) {
    std::string content;
    // A file over the limit is not a settings file.
    if (ReadFileText(path.c_str(), MaxFileBytes, content) != FileTextResult::Read)
        return std::nullopt;
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);

    bool inSection = false;
    std::string_view rest = content;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = Trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            // Key and value names are case-blind, as in the registry.
            inSection =
                line.back() == ']' && SameName(Trimmed(line.substr(1, line.size() - 2)), key);
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        if (SameName(Trimmed(line.substr(0, equals)), value))
            return std::string(Trimmed(line.substr(equals + 1)));
    }
    return std::nullopt;
}

bool ParseDword(std::string_view hex, uint32_t* out) {
    if (hex.empty() || hex.size() > 8) return false;
    uint32_t v = 0;
    for (char c : hex) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) return false;
        v = v * 16 + static_cast<uint32_t>(digit);
    }
    *out = v;
    return true;
}

bool ReadEnvironment(const wchar_t* name, wchar_t* buffer, size_t capacity) {
    const char* value = std::getenv(WideToUtf8(name).c_str());
    if (value == nullptr) return false;
    std::wstring wide = Utf8ToWide(value);
    if (wide.size() + 1 > capacity) return false;
    wide.copy(buffer, wide.size());
    buffer[wide.size()] = L'\0';
    return true;
}

bool ReadValue(SettingsRoot root, const wchar_t* key, const wchar_t* value, void* buffer,
               uint32_t* bytes, uint32_t* type) {
    std::optional<std::string> path = SettingsPath(root);
    if (!path) return false;
    std::optional<std::string> entry = FindEntry(*path, WideToUtf8(key), WideToUtf8(value));
    if (!entry) return false;

    std::string_view text = *entry;
    if (text.size() >= 6 && SameName(text.substr(0, 6), "dword:")) {
        uint32_t number = 0;
        if (!ParseDword(text.substr(6), &number) || *bytes < sizeof number) return false;
        std::memcpy(buffer, &number, sizeof number);
        *bytes = sizeof number;
        *type = SettingsTypeDword;
        return true;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2); // quotes keep blanks at either end
    std::wstring wide = Utf8ToWide(text);
    size_t need = (wide.size() + 1) * sizeof(wchar_t);
    if (need > *bytes) return false;
    std::memcpy(buffer, wide.c_str(), need);
    *bytes = static_cast<uint32_t>(need);
    *type = SettingsTypeString;
    return true;
}
} // namespace

// Both are called from the module's entry points: running out of memory reads as an absent
// setting, never as an exception.
bool SettingsGetEnvironment(const wchar_t* name, wchar_t* buffer, size_t capacity) {
    if (name == nullptr || buffer == nullptr || capacity == 0) return false;
    try {
        return ReadEnvironment(name, buffer, capacity);
    } catch (...) {
        return false;
    }
}

bool SettingsReadValue(SettingsRoot root, const wchar_t* key, const wchar_t* value, void* buffer,
                       uint32_t* bytes, uint32_t* type) {
    if (key == nullptr || value == nullptr || buffer == nullptr || bytes == nullptr ||
        type == nullptr)
        return false;
    try {
        return ReadValue(root, key, value, buffer, bytes, type);
    } catch (...) {
        return false;
    }
}
