// Case mapping, code pages and the system's short formatter on Windows.
#include <windows.h>

#include <cstdarg>
#include <cwctype>

#include "platform/text/Text.h"

void UpperCaseWide(wchar_t* text) {
    if (text != nullptr) CharUpperW(text);
}

// The runtime's classes, the same in every locale it knows: the host never sets one here.
bool IsSpaceCharacter(wchar_t c) {
    return std::iswspace(static_cast<wint_t>(c)) != 0;
}

bool IsLetterCharacter(wchar_t c) {
    return std::iswalpha(static_cast<wint_t>(c)) != 0;
}

size_t WideToNarrow(const wchar_t* text, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    out[0] = '\0';
    if (text == nullptr || text[0] == L'\0') return 0;
    // The whole text or nothing: a cut could change what an address text says.
    int n = WideCharToMultiByte(CP_OEMCP, 0, text, -1, out, static_cast<int>(capacity), nullptr,
                                nullptr);
    if (n <= 0) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n - 1);
}

size_t NarrowToWide(const char* text, wchar_t* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    out[0] = L'\0';
    if (text == nullptr || text[0] == '\0') return 0;
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, out, static_cast<int>(capacity));
    if (n <= 0) {
        out[0] = L'\0';
        return 0;
    }
    return static_cast<size_t>(n - 1);
}

int FormatSystemText(wchar_t* buffer, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    // wvsprintfW writes at most 1024 characters, the terminator included.
    int n = wvsprintfW(buffer, format, args);
    va_end(args);
    return n;
}
