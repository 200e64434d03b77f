// System message texts through FormatMessageW.
#include <windows.h>

#include "platform/system/Messages.h"

size_t SystemMessageText(uint32_t code, wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    // No inserts expanded, the message's own line breaks dropped and none added (0x12FF).
    constexpr DWORD Flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    DWORD n =
        FormatMessageW(Flags, nullptr, code, 0, buffer, static_cast<DWORD>(capacity), nullptr);
    if (n == 0) buffer[0] = L'\0';
    return n;
}
