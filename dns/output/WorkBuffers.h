// The two per-call work buffers of the formatted-output entries, and the va_list form of
// PagedPrintf that HighlightPrintf hands its arguments to when highlighting is off.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <memory>

struct WorkBuffers {
    std::unique_ptr<wchar_t[]> text; // the formatted text
    std::unique_ptr<wchar_t[]> work; // the pending line or colour run
};

// Formats into two fresh buffers of (formatted length + 16) characters each. Returns 0,
// OutputNoInput for a null format, or OutputNoMemory with both buffers released.
int FormatIntoWorkBuffers(const wchar_t* format, va_list args, WorkBuffers& buffers);

int PagedPrintfV(const wchar_t* format, va_list args);
