// System message texts for status codes.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes the system's text for code into buffer (no inserts expanded, no line breaks added).
// Returns the characters written, 0 when the system has no text for the code.
size_t SystemMessageText(uint32_t code, wchar_t* buffer, size_t capacity);
