// Wide formatting with the conventions of the module's format strings (%s is a wide string,
// %hs a narrow UTF-8 one, %I64u a 64-bit number), the same on every platform: the C library's
// wide printf reads %s as narrow text on POSIX, and only this formatter can count.
#include <cstdint>
#include <string_view>

#include "platform/text/Text.h"

namespace {

// Appends to a bounded buffer while counting everything the full text needs.
struct Sink {
    wchar_t* buffer;
    size_t capacity;
    size_t count = 0;

    void Put(wchar_t c) {
        if (buffer != nullptr && count + 1 < capacity) buffer[count] = c;
        ++count;
    }
    void Repeat(wchar_t c, int n) {
        for (int i = 0; i < n; ++i)
            Put(c);
    }
    void Finish() {
        if (buffer == nullptr || capacity == 0) return;
        buffer[count < capacity ? count : capacity - 1] = L'\0';
    }
};

struct Spec {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = 0;
    int precision = -1;
};

enum class Length { Default, Short, Long, LongLong, Size, Narrow, Wide };

void PutPadded(Sink& sink, const Spec& spec, const wchar_t* text, size_t length) {
    int pad = spec.width > static_cast<int>(length) ? spec.width - static_cast<int>(length) : 0;
    if (!spec.left) sink.Repeat(L' ', pad);
    for (size_t i = 0; i < length; ++i)
        sink.Put(text[i]);
    if (spec.left) sink.Repeat(L' ', pad);
}

// Decodes the text twice, first to count for the padding, so that nothing is allocated. A
// character beyond the BMP takes two units where wchar_t is UTF-16.
void PutNarrowString(Sink& sink, const Spec& spec, const char* text) {
    wchar_t units[2];
    size_t length = 0;
    for (std::string_view rest(text);
         !rest.empty() && (spec.precision < 0 || length < static_cast<size_t>(spec.precision));
         ++length)
        rest.remove_prefix(Utf8CharToUnits(rest, units, nullptr));

    int pad = spec.width > static_cast<int>(length) ? spec.width - static_cast<int>(length) : 0;
    if (!spec.left) sink.Repeat(L' ', pad);
    std::string_view rest(text);
    for (size_t i = 0; i < length; ++i) {
        size_t count = 0;
        rest.remove_prefix(Utf8CharToUnits(rest, units, &count));
        for (size_t k = 0; k < count; ++k)
            sink.Put(units[k]);
    }
    if (spec.left) sink.Repeat(L' ', pad);
}

void PutNumber(Sink& sink, const Spec& spec, uint64_t magnitude, bool negative, unsigned base,
               bool upper) {
    wchar_t digits[32];
    int n = 0;
    const wchar_t* table = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    do {
        digits[n++] = table[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    if (spec.precision == 0 && n == 1 && digits[0] == L'0') n = 0;

    wchar_t sign = negative ? L'-' : spec.plus ? L'+' : spec.space ? L' ' : L'\0';
    const wchar_t* prefix = L"";
    if (spec.alt && base == 16 && n > 0) prefix = upper ? L"0X" : L"0x";
    if (spec.alt && base == 8) prefix = L"0";
    int prefixLength = prefix[0] == L'\0' ? 0 : (prefix[1] == L'\0' ? 1 : 2);

    int zeros = spec.precision > n ? spec.precision - n : 0;
    int body = n + zeros + prefixLength + (sign != L'\0' ? 1 : 0);
    int pad = spec.width > body ? spec.width - body : 0;
    bool zeroPad = spec.zero && !spec.left && spec.precision < 0;

    if (!spec.left && !zeroPad) sink.Repeat(L' ', pad);
    if (sign != L'\0') sink.Put(sign);
    for (int i = 0; i < prefixLength; ++i)
        sink.Put(prefix[i]);
    if (zeroPad) sink.Repeat(L'0', pad);
    sink.Repeat(L'0', zeros);
    while (n > 0)
        sink.Put(digits[--n]);
    if (spec.left) sink.Repeat(L' ', pad);
}

int ReadNumber(const wchar_t*& p) {
    int value = 0;
    while (*p >= L'0' && *p <= L'9') {
        if (value < 100000) value = value * 10 + (*p - L'0');
        ++p;
    }
    return value;
}

} // namespace

int FormatWideV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) {
    if (format == nullptr) return -1;
    Sink sink{buffer, capacity};
    va_list ap;
    va_copy(ap, args);

    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            sink.Put(*p);
            continue;
        }
        const wchar_t* start = p++;
        Spec spec;
        for (;; ++p) {
            if (*p == L'-')
                spec.left = true;
            else if (*p == L'0')
                spec.zero = true;
            else if (*p == L'+')
                spec.plus = true;
            else if (*p == L' ')
                spec.space = true;
            else if (*p == L'#')
                spec.alt = true;
            else
                break;
        }
        if (*p == L'*') {
            spec.width = va_arg(ap, int);
            if (spec.width < 0) {
                spec.left = true;
                spec.width = -spec.width;
            }
            ++p;
        } else {
            spec.width = ReadNumber(p);
        }
        if (*p == L'.') {
            ++p;
            if (*p == L'*') {
                spec.precision = va_arg(ap, int);
                ++p;
            } else {
                spec.precision = ReadNumber(p);
            }
        }
        Length length = Length::Default;
        if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            length = Length::LongLong;
            p += 3;
        } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
            p += 3;
        } else if (p[0] == L'l' && p[1] == L'l') {
            length = Length::LongLong;
            p += 2;
        } else if (*p == L'l') {
            length = Length::Long;
            ++p;
        } else if (*p == L'h') {
            length = Length::Short;
            ++p;
        } else if (*p == L'z') {
            length = Length::Size;
            ++p;
        } else if (*p == L'w') {
            length = Length::Wide;
            ++p;
        }

        switch (*p) {
        case L'%':
            sink.Put(L'%');
            break;
        case L'c':
        case L'C': {
            wchar_t c = static_cast<wchar_t>(va_arg(ap, int));
            PutPadded(sink, spec, &c, 1);
            break;
        }
        case L's':
        case L'S': {
            // %s is wide unless narrowed by h; %S is narrow unless widened by l or w.
            bool narrow = (*p == L's') ? (length == Length::Short)
                                       : !(length == Length::Long || length == Length::Wide);
            if (narrow) {
                const char* text = va_arg(ap, const char*);
                PutNarrowString(sink, spec, text != nullptr ? text : "(null)");
            } else {
                const wchar_t* text = va_arg(ap, const wchar_t*);
                if (text == nullptr) text = L"(null)";
                size_t n = 0;
                while (text[n] != L'\0' && (spec.precision < 0 || n < size_t(spec.precision)))
                    ++n;
                PutPadded(sink, spec, text, n);
            }
            break;
        }
        case L'd':
        case L'i': {
            int64_t v;
            if (length == Length::LongLong)
                v = va_arg(ap, long long);
            else if (length == Length::Long)
                v = va_arg(ap, long);
            else if (length == Length::Size)
                v = static_cast<int64_t>(va_arg(ap, size_t));
            else
                v = va_arg(ap, int);
            if (length == Length::Short) v = static_cast<short>(v);
            uint64_t magnitude = v < 0 ? uint64_t(0) - static_cast<uint64_t>(v) : uint64_t(v);
            PutNumber(sink, spec, magnitude, v < 0, 10, false);
            break;
        }
        case L'u':
        case L'x':
        case L'X':
        case L'o': {
            uint64_t v;
            if (length == Length::LongLong)
                v = va_arg(ap, unsigned long long);
            else if (length == Length::Long)
                v = va_arg(ap, unsigned long);
            else if (length == Length::Size)
                v = va_arg(ap, size_t);
            else
                v = va_arg(ap, unsigned int);
            if (length == Length::Short) v = static_cast<unsigned short>(v);
            unsigned base = *p == L'u' ? 10 : *p == L'o' ? 8 : 16;
            PutNumber(sink, spec, v, false, base, *p == L'X');
            break;
        }
        case L'p': {
            auto v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
            Spec pointer = spec;
            pointer.precision = int(sizeof(void*) * 2);
            PutNumber(sink, pointer, v, false, 16, true);
            break;
        }
        default:
            // Unknown conversion: written as it stands, so nothing is silently lost.
            for (const wchar_t* q = start; q <= p && *q != L'\0'; ++q)
                sink.Put(*q);
            if (*p == L'\0') --p;
            break;
        }
    }
    va_end(ap);
    sink.Finish();
    return static_cast<int>(sink.count);
}

int FormatWide(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int n = FormatWideV(buffer, capacity, format, args);
    va_end(args);
    return n;
}
