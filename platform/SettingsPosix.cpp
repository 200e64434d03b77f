// Placeholder until this service is implemented.
#include "platform/Settings.h"

bool SettingsGetEnvironment(const wchar_t*, wchar_t*, size_t) { return false; }
bool SettingsReadValue(SettingsRoot, const wchar_t*, const wchar_t*, void*, uint32_t*, uint32_t*) {
    return false;
}
