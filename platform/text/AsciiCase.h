// Case mapping and case-blind comparison of the letters A to Z alone, as the runtime's default
// C locale does it: option letters, command, variable and setting names, DNS names on the wire
// and quoted arguments change no other character. Pure; one helper for the module, the host and
// the platform layer alike.
#pragma once
#include <string_view>

template <typename Char> constexpr Char UpperAscii(Char c) {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <typename Char> constexpr Char LowerAscii(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

inline void UpperCaseAscii(wchar_t* text) {
    for (; *text != L'\0'; ++text)
        *text = UpperAscii(*text);
}

namespace ascii_case {
template <typename Char>
constexpr bool Same(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}
} // namespace ascii_case

// Whether a and b are the same name but for the case of A to Z: wide text, or narrow text and
// bytes.
constexpr bool SameName(std::wstring_view a, std::wstring_view b) {
    return ascii_case::Same(a, b);
}
constexpr bool SameName(std::string_view a, std::string_view b) {
    return ascii_case::Same(a, b);
}

// Whether text starts with prefix but for the case of A to Z.
constexpr bool StartsWithName(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}
