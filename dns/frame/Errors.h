// Error reporting: the common prefix of every error message and status texts.
#pragma once
#include <cstdint>

inline constexpr int StatusTextSize = 1024;

// Writes "DNS plugin: " and, inside a batch file, "NAME [LINE]  " to standard error.
int PrintErrorPrefix();
// Fills text (StatusTextSize characters) with the system's text for code; -1 gives
// "Unknown error", a code without a text "Error %d".
int FormatStatusText(int32_t code, wchar_t* text);
