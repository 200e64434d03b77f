// Variable expansion: "%name" (letters, digits, underscore), "%[name]" and "%%".
#pragma once
#include <functional>
#include <string>
#include <string_view>

// Looks a name up; false when it is not set (it then expands to nothing).
using VariableLookup = std::function<bool(std::wstring_view name, std::wstring& value)>;

std::wstring ExpandText(std::wstring_view text, const VariableLookup& lookup);

// Copies text into out, at most capacity - 1 characters and a terminator. Returns false
// when the text had to be cut.
bool CopyLimited(std::wstring_view text, wchar_t* out, size_t capacity);
