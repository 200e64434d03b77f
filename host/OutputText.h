// How the services turn wide text into what reaches a descriptor.
#pragma once
#include <cstdarg>
#include <string>
#include <string_view>

// UTF-8 with every "\r\n" written as "\n".
std::string OutputBytes(std::wstring_view text);

// Formats with the module's wide conventions; an empty text for a null format.
std::wstring FormatToString(const wchar_t* format, va_list args);
