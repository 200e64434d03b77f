#include "host/OutputText.h"

#include <cstdint>

#include "platform/text/Text.h"

std::string OutputBytes(std::wstring_view text) {
    std::wstring lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        lines.push_back(text[i]);
    }
    return WideToUtf8(lines);
}

std::wstring FormatToString(const wchar_t* format, va_list args) {
    if (format == nullptr) return {};
    va_list count;
    va_copy(count, args);
    int length = FormatWideV(nullptr, 0, format, count);
    va_end(count);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    va_list fill;
    va_copy(fill, args);
    FormatWideV(text.data(), text.size(), format, fill);
    va_end(fill);
    text.resize(static_cast<size_t>(length));
    return text;
}
