// UTF-8 and the platform's wide text, for either width of wchar_t: UTF-32 on POSIX, UTF-16 on
// Windows, where a character beyond the BMP is a surrogate pair.
#include <cstdint>
#include <type_traits>

#include "platform/text/Text.h"

size_t CodePointToUtf8(char32_t code, char* out) {
    auto c = static_cast<uint32_t>(code);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

size_t WideCharToUtf8(wchar_t wide, char* out) {
    return CodePointToUtf8(static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide)),
                           out);
}

size_t DecodeUtf8Prefix(const unsigned char* bytes, size_t size, char32_t* cp) {
    if (bytes == nullptr || size == 0 || cp == nullptr) return 0;
    unsigned char b = bytes[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    size_t length;
    char32_t c;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        c = b & 0x0F;
        if (b == 0xE0) low = 0xA0;  // overlong
        if (b == 0xED) high = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        c = b & 0x07;
        if (b == 0xF0) low = 0x90;  // overlong
        if (b == 0xF4) high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i == size) return Utf8Incomplete;
        unsigned char next = bytes[i];
        if (i == 1 ? (next < low || next > high) : (next < 0x80 || next > 0xBF)) return 0;
        c = c << 6 | (next & 0x3F);
    }
    *cp = c;
    return length;
}

size_t DecodeUtf8Sequence(const unsigned char* bytes, size_t size, char32_t* cp) {
    size_t length = DecodeUtf8Prefix(bytes, size, cp);
    return length == Utf8Incomplete ? 0 : length;
}

size_t Utf8CharToWide(std::string_view text, wchar_t* out) {
    if (text.empty()) return 0;
    char32_t cp = 0;
    size_t length =
        DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &cp);
    // An invalid sequence gives one replacement character for its first byte only; so does a
    // character that one UTF-16 unit cannot hold.
    if (length == 0 || (sizeof(wchar_t) == 2 && cp > 0xFFFF)) cp = 0xFFFD;
    *out = static_cast<wchar_t>(cp);
    return length != 0 ? length : 1;
}

size_t Utf8CharToUnits(std::string_view text, wchar_t (&units)[2], size_t* count) {
    size_t n = 0;
    if (text.empty()) {
        if (count != nullptr) *count = 0;
        return 0;
    }
    char32_t cp = 0;
    size_t length =
        DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &cp);
    if (length == 0) cp = 0xFFFD;
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
        cp -= 0x10000;
        units[n++] = static_cast<wchar_t>(0xD800 + (cp >> 10));
        units[n++] = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        units[n++] = static_cast<wchar_t>(cp);
    }
    if (count != nullptr) *count = n;
    return length != 0 ? length : 1;
}

char32_t NextCodePoint(std::wstring_view& text) {
    if (text.empty()) return 0;
    auto first = static_cast<uint32_t>(text.front());
    text.remove_prefix(1);
    if constexpr (sizeof(wchar_t) == 2) {
        if (first >= 0xD800 && first <= 0xDBFF && !text.empty()) {
            auto second = static_cast<uint32_t>(text.front());
            if (second >= 0xDC00 && second <= 0xDFFF) {
                text.remove_prefix(1);
                return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
            }
        }
    }
    return first;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    char bytes[4];
    while (!text.empty())
        out.append(bytes, CodePointToUtf8(NextCodePoint(text), bytes));
    return out;
}

std::wstring Utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    wchar_t units[2];
    for (size_t used, count; !text.empty(); text.remove_prefix(used)) {
        used = Utf8CharToUnits(text, units, &count);
        out.append(units, count);
    }
    return out;
}
