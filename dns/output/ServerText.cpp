// Control characters of server text as \DDD: the one place where the module makes text from
// a DNS server safe for the terminal, whatever the platform's client handed over.
#include "dns/output/ServerText.h"

#include <new>

namespace {

constexpr size_t EscapeLength = 4; // \DDD

bool IsC0OrDel(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}
bool IsC1(wchar_t c) {
    return c >= 0x80 && c <= 0x9F;
}

// The escaped length of one character: 1, or 4 per byte it is shown as.
size_t ShownLength(wchar_t c) {
    if (IsC0OrDel(c)) return EscapeLength;
    if (IsC1(c)) return 2 * EscapeLength; // two UTF-8 bytes
    return 1;
}

void WriteEscape(unsigned byte, wchar_t* at) {
    at[0] = L'\\';
    at[1] = static_cast<wchar_t>(L'0' + byte / 100);
    at[2] = static_cast<wchar_t>(L'0' + byte / 10 % 10);
    at[3] = static_cast<wchar_t>(L'0' + byte % 10);
}

} // namespace

size_t EscapeServerText(const wchar_t* text, std::span<wchar_t> out) {
    if (out.empty()) return 0;
    size_t used = 0;
    for (; text != nullptr && *text != L'\0'; ++text) {
        const wchar_t c = *text;
        const size_t length = ShownLength(c);
        if (used + length >= out.size()) break; // the terminator needs its place too
        if (IsC0OrDel(c)) {
            WriteEscape(static_cast<unsigned>(c), &out[used]);
        } else if (IsC1(c)) {
            const auto code = static_cast<unsigned>(c);
            WriteEscape(0xC0 | (code >> 6), &out[used]);
            WriteEscape(0x80 | (code & 0x3F), &out[used + EscapeLength]);
        } else {
            out[used] = c;
        }
        used += length;
    }
    out[used] = L'\0';
    return used;
}

size_t EscapedServerTextSize(const wchar_t* text) {
    size_t size = 1;
    for (; text != nullptr && *text != L'\0'; ++text)
        size += ShownLength(*text);
    return size;
}

ShownServerText::ShownServerText(const wchar_t* text) {
    const size_t size = EscapedServerTextSize(text);
    buffer_.reset(new (std::nothrow) wchar_t[size]);
    if (buffer_ == nullptr) {
        ok_ = false;
        return;
    }
    EscapeServerText(text, std::span<wchar_t>(buffer_.get(), size));
}
