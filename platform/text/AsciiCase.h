// Case mapping of the letters A to Z alone, as the runtime's default C locale does it: option
// letters, names and quoted arguments change no other character.
#pragma once

inline wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

inline wchar_t LowerAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

inline void UpperCaseAscii(wchar_t* text) {
    for (; *text != L'\0'; ++text)
        *text = UpperAscii(*text);
}
