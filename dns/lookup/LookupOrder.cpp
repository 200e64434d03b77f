// Reads the switch to the one-query-at-a-time order.
#include "dns/lookup/LookupOrder.h"

#include <array>

#include "platform/system/Settings.h"

bool OneQueryAtATime() {
    std::array<wchar_t, 64> value{};
    if (!SettingsGetEnvironment(OneAtATimeVariable, value.data(), value.size())) return false;
    return value[0] != L'\0' && !(value[0] == L'0' && value[1] == L'\0');
}
