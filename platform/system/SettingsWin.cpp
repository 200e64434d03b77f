// Settings on Windows: the process environment and the registry, read only.
#include <windows.h>

#include "platform/system/Settings.h"

bool SettingsGetEnvironment(const wchar_t* name, wchar_t* buffer, size_t capacity) {
    if (name == nullptr || buffer == nullptr || capacity == 0) return false;
    DWORD n = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(capacity));
    // 0: unset (or empty); capacity or more: the size it would need, so it does not fit.
    if (n == 0 || n >= capacity) {
        buffer[0] = L'\0';
        return false;
    }
    return true;
}

bool SettingsReadValue(SettingsRoot root, const wchar_t* key, const wchar_t* value, void* buffer,
                       uint32_t* bytes, uint32_t* type) {
    if (key == nullptr || value == nullptr || buffer == nullptr || bytes == nullptr ||
        type == nullptr)
        return false;
    HKEY hive = root == SettingsRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(hive, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD size = *bytes;
    DWORD kind = REG_NONE;
    // A value larger than the buffer gives ERROR_MORE_DATA: absent.
    LSTATUS status =
        RegQueryValueExW(opened, value, nullptr, &kind, static_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return false;
    *bytes = size;
    *type = kind;
    return true;
}
