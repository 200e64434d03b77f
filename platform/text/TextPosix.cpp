// Case mapping and the narrow code page on POSIX systems, where the narrow text is UTF-8.
#include <cstdarg>
#include <cwctype>
#include <locale.h>

#include "platform/text/Text.h"

namespace {
// The locale lives as long as the library holding it: freed when the module is unloaded.
struct UnicodeLocale {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    UnicodeLocale() = default;
    UnicodeLocale(const UnicodeLocale&) = delete;
    UnicodeLocale& operator=(const UnicodeLocale&) = delete;
    ~UnicodeLocale() {
        if (locale != locale_t{}) freelocale(locale);
    }
};
} // namespace

void UpperCaseWide(wchar_t* text) {
    if (text == nullptr) return;
    // Case mapping for every alphabet, whatever locale the host process runs in (a host that
    // never calls setlocale stays in "C", where only a to z would change).
    static const UnicodeLocale unicode;
    for (; *text != L'\0'; ++text) {
        wint_t c = static_cast<wint_t>(*text);
        *text = static_cast<wchar_t>(unicode.locale != locale_t{} ? towupper_l(c, unicode.locale)
                                                                  : towupper(c));
    }
}

bool IsSpaceCharacter(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

bool IsLetterCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// The bounded conversions allocate nothing: the module calls them from its entry points.
size_t WideToNarrow(const wchar_t* text, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    size_t n = 0;
    char bytes[4];
    for (; text != nullptr && *text != L'\0' && n < capacity - 1; ++text) {
        size_t length = WideCharToUtf8(*text, bytes);
        // Cut at the byte, like a copy of the whole conversion's first capacity - 1 bytes.
        for (size_t k = 0; k < length && n < capacity - 1; ++k)
            out[n++] = bytes[k];
    }
    out[n] = '\0';
    return n;
}

size_t NarrowToWide(const char* text, wchar_t* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    size_t n = 0;
    std::string_view rest = text != nullptr ? std::string_view(text) : std::string_view();
    for (size_t used; !rest.empty() && n < capacity - 1; rest.remove_prefix(used))
        used = Utf8CharToWide(rest, &out[n++]);
    out[n] = L'\0';
    return n;
}

int FormatSystemText(wchar_t* buffer, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int n = FormatWideV(buffer, SystemTextSize, format, args);
    va_end(args);
    return n < int(SystemTextSize) ? n : int(SystemTextSize) - 1;
}
