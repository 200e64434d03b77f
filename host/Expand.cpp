#include "host/Expand.h"

#include <algorithm>

namespace {

bool IsNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_';
}

} // namespace

std::wstring ExpandText(std::wstring_view text, const VariableLookup& lookup) {
    std::wstring result;
    size_t i = 0;
    while (i < text.size()) {
        wchar_t c = text[i];
        if (c != L'%' || i + 1 >= text.size()) {
            result.push_back(c);
            ++i;
            continue;
        }
        wchar_t next = text[i + 1];
        std::wstring_view name;
        size_t end = i;
        if (next == L'%') {
            result.push_back(L'%');
            i += 2;
            continue;
        }
        if (next == L'[') {
            size_t close = text.find(L']', i + 2);
            if (close == std::wstring_view::npos) {
                result.push_back(c);
                ++i;
                continue;
            }
            name = text.substr(i + 2, close - i - 2);
            end = close + 1;
        } else {
            size_t j = i + 1;
            while (j < text.size() && IsNameChar(text[j]))
                ++j;
            if (j == i + 1) { // a lone percent sign stays
                result.push_back(c);
                ++i;
                continue;
            }
            name = text.substr(i + 1, j - i - 1);
            end = j;
        }
        std::wstring value;
        if (lookup(name, value)) result += value;
        i = end;
    }
    return result;
}

bool CopyLimited(std::wstring_view text, wchar_t* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), n, out);
    out[n] = L'\0';
    return n == text.size();
}
