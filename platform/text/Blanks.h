// Blanks: the space and the tab, between the words of a command line and around names. Text
// read from files (the resolver configuration, the settings files) takes the line ends' carriage
// return and line feed as blanks too. Pure; one helper for the host and the platform layer.
#pragma once
#include <string_view>

template <typename Char> constexpr bool IsBlank(Char c) {
    return c == Char(' ') || c == Char('\t');
}

template <typename Char> constexpr bool IsLineBlank(Char c) {
    return IsBlank(c) || c == Char('\r') || c == Char('\n');
}

// text without the blanks at its start, at its end, or at both ends; isBlank says which
// characters are blanks.
template <typename Char> using BlankTest = bool (*)(Char);
template <typename Char> using TextView = std::basic_string_view<Char>;

template <typename Char>
constexpr TextView<Char> TrimStart(TextView<Char> text, BlankTest<Char> isBlank = IsBlank<Char>) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

template <typename Char>
constexpr TextView<Char> TrimEnd(TextView<Char> text, BlankTest<Char> isBlank = IsBlank<Char>) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

template <typename Char>
constexpr TextView<Char> Trim(TextView<Char> text, BlankTest<Char> isBlank = IsBlank<Char>) {
    return TrimEnd(TrimStart(text, isBlank), isBlank);
}
