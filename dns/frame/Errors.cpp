// The common prefix of every error message, and status codes as readable text.
#include "dns/frame/Errors.h"

#include <array>
#include <cwchar>

#include "dns/frame/HostApi.h"
#include "dns/frame/Plugin.h"
#include "platform/console/Console.h"
#include "platform/system/Messages.h"
#include "platform/text/Text.h"

namespace {
constexpr size_t VariableBufferSize = 8192;

// Copies text into a zero-filled buffer, as the host's expansion expects.
void LoadVariables(std::array<wchar_t, VariableBufferSize>& buffer, const wchar_t* text) {
    buffer.fill(L'\0');
    std::wcsncpy(buffer.data(), text, buffer.size() - 1);
}
} // namespace

int PrintErrorPrefix() {
    std::array<wchar_t, VariableBufferSize> buffer;
    LoadVariables(buffer, L"%_batch");
    Qprintf(ConsoleStdError(), L"%s plugin: ", PluginName);

    ExpandVariables(buffer.data(), 1);
    if (buffer[0] == L'0') return 0;

    LoadVariables(buffer, L"%_batchname [%_batchline]  ");
    ExpandVariables(buffer.data(), 1);
    // The expansion is text, not a format: a '%' in a batch file's name must survive.
    Qprintf(ConsoleStdError(), L"%s", buffer.data());
    return 0;
}

int FormatStatusText(int32_t code, wchar_t* text) {
    if (text == nullptr) return 0;
    text[0] = L'\0';
    if (code == -1) {
        FormatWide(text, StatusTextSize, L"%s", L"Unknown error");
    } else if (SystemMessageText(static_cast<uint32_t>(code), text, StatusTextSize) == 0) {
        FormatSystemText(text, L"Error %d", code);
    }
    text[StatusTextSize - 1] = L'\0';

    size_t n = std::wcslen(text);
    while (n > 0 && IsSpaceCharacter(text[n - 1]))
        text[--n] = L'\0';
    return 0;
}
