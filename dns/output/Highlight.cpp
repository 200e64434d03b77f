// Highlighted formatted output: the text is cut into runs of one colour, each written straight
// to the console; line ends go through the pager.
#include "dns/output/Highlight.h"

#include <cstdarg>
#include <cwchar>

#include "dns/frame/HostApi.h"
#include "dns/frame/Plugin.h"
#include "dns/output/Pager.h"
#include "dns/output/WorkBuffers.h"
#include "platform/console/Console.h"

uint8_t ColorNormal, ColorHighlight, ColorNormalReverse, ColorHighlightReverse, ColorContrast,
    ColorContrastReverse;

namespace {
uint8_t SlotColor(wchar_t mark) {
    switch (mark) {
    case MarkNormal:
        return ColorNormal;
    case MarkHighlight:
        return ColorHighlight;
    case MarkNormalReverse:
        return ColorNormalReverse;
    case MarkHighlightReverse:
        return ColorHighlightReverse;
    case MarkContrast:
        return ColorContrast;
    default:
        return ColorContrastReverse;
    }
}
} // namespace

int WriteColorRun(uint32_t attribute, const wchar_t* text) {
    if (text == nullptr) return OutputNoInput;
    ConsoleSetAttribute(ConsoleStdOutput(), static_cast<uint16_t>(attribute & 0xFF));
    ConsoleWriteDirect(text, wcslen(text));
    return OutputDone;
}

int HighlightPrintf(const wchar_t* format, ...) {
    if (format == nullptr) return OutputNoInput;
    if (format[0] == L'\0') return OutputDone;
    if (BreakFlag.load(std::memory_order_relaxed) != 0) {
        WriteBreakNotice();
        return OutputBreak;
    }

    va_list args;
    va_start(args, format);
    ConsoleHandle output = ConsoleStdOutput();
    if (ColorNormal == 0) {
        int status = PagedPrintfV(format, args);
        va_end(args);
        return status;
    }
    WorkBuffers buffers;
    int status = FormatIntoWorkBuffers(format, args, buffers);
    va_end(args);
    if (status != OutputDone) return status;

    wchar_t* run = buffers.work.get();
    size_t used = 0;
    uint8_t current = ColorNormal;
    auto flush = [&] {
        run[used] = L'\0';
        WriteColorRun(current, run);
        used = 0;
    };
    for (const wchar_t* p = buffers.text.get(); *p != L'\0'; ++p) {
        wchar_t c = *p;
        if (c == L'\n') {
            if (used != 0) flush();
            if (EndOfLine() == OutputBreak) {
                status = OutputBreak;
                break;
            }
            current = ColorNormal;
        } else if (c == L'\r') {
            continue;
        } else if (c >= MarkNormal && c <= MarkContrastReverse) {
            uint8_t next = SlotColor(c);
            if (used != 0 && next != current) flush();
            current = next;
        } else {
            run[used++] = c;
        }
    }
    if (status == OutputDone && used != 0) flush();
    if (current != ColorNormal) {
        ConsoleSetAttribute(output, ColorNormal);
        SetColors(ColorNormal);
    }
    return status;
}
