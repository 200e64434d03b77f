// The output pager: every line end of command output, the page prompt, its keys and timed
// pause, the break notice, and the page length taken from the console window.
#include "dns/output/Pager.h"

#include <cstdarg>
#include <cwchar>

#include "dns/frame/HostApi.h"
#include "dns/frame/Plugin.h"
#include "dns/output/Highlight.h"
#include "dns/output/WorkBuffers.h"
#include "platform/console/Console.h"
#include "platform/system/Clock.h"

uint32_t PageLines, LinesLeft, PauseTime;

// Indexed by a background colour; each entry keeps that background with a contrasting
// foreground.
const uint8_t ContrastColors[3][16] = {
    {0x0F, 0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F, 0x70, 0x8F, 0x9F, 0xA0, 0xB0, 0xCF, 0xD0, 0xE0,
     0xF2},
    {0x0E, 0x1B, 0x2B, 0x3E, 0x4B, 0x5B, 0x6B, 0x79, 0x8B, 0x9B, 0xA9, 0xB9, 0xC0, 0xDE, 0xEC,
     0xF0},
    {0x0B, 0x16, 0x20, 0x30, 0x40, 0x50, 0x60, 0x74, 0x80, 0x90, 0xAF, 0xBF, 0xCD, 0xD6, 0xE4,
     0xF4},
};

namespace {
constexpr wchar_t PagePrompt[] = L"\r   \u2500\u2500 Press a key to continue \u2500\u2500 ";
constexpr wchar_t BreakNotice[] = L"\r ^C \n";
constexpr uint32_t KeyBreak = 3;
constexpr uint32_t KeyEscape = 27;
constexpr uint32_t KeyPauseOver = 32;
constexpr uint32_t ExtendedKey = 0x10000;
constexpr uint32_t PollMilliseconds = 10;

template <size_t N> void WriteDirect(const wchar_t (&text)[N]) {
    ConsoleWriteDirect(text, N - 1);
}

void ErasePrompt() {
    wchar_t erase[62];
    erase[0] = L'\r';
    wmemset(erase + 1, L' ', 60);
    erase[61] = L'\r';
    ConsoleWriteDirect(erase, 62);
}

bool BreakPending() {
    return BreakFlag.load(std::memory_order_relaxed) != 0;
}

// Prompts, waits and acts on the key. Returns 0 or OutputBreak.
int PageFull() {
    LinesLeft = PageLines;
    WriteDirect(PagePrompt);
    uint32_t key = WaitForPageKey();
    ErasePrompt();
    switch (key) {
    case L'A':
    case L'a':
    case L'C':
    case L'c':
        LinesLeft = PageLines = 0;
        return OutputDone;
    case L'/':
        LinesLeft = PageLines / 2;
        return OutputDone;
    case L'0':
        LinesLeft = 10;
        return OutputDone;
    case KeyBreak:
        WriteBreakNotice();
        return OutputBreak;
    case KeyEscape:
        return OutputBreak;
    default:
        if (key >= L'1' && key <= L'9') LinesLeft = key - L'0';
        return OutputDone;
    }
}
} // namespace

void (*PageWaitIdle)(uint32_t milliseconds) = nullptr;

int EndOfLine() {
    if (ColorNormal != 0) {
        ConsoleSetAttribute(ConsoleStdOutput(), ColorNormal);
        SetColors(ColorNormal);
        tty_yield(0);
    }
    QPuts(L"\r\n");
    if (BreakPending()) {
        WriteBreakNotice();
        return OutputBreak;
    }
    if (LinesLeft == 0) return OutputDone;
    if (--LinesLeft != 0) return OutputDone;
    return PageFull();
}

uint32_t WaitForPageKey() {
    uint32_t start = ClockTickCount();
    // The break flag is never cleared here: the line end before the prompt has acted on every
    // earlier break, so a set flag is a break that came while the prompt was being written,
    // and it answers the prompt as the break key does. It goes before a key typed ahead.
    for (;;) {
        if (BreakPending()) return KeyBreak;
        if (ConsoleKeyHit()) break;
        // Elapsed time in unsigned arithmetic: correct across a wrap of the tick counter,
        // whether or not the deadline itself wraps.
        if (PauseTime != 0 && ClockTickCount() - start >= PauseTime) return KeyPauseOver;
        if (PageWaitIdle != nullptr)
            PageWaitIdle(PollMilliseconds);
        else
            ClockSleep(PollMilliseconds);
    }
    int key = ConsoleReadKey();
    if (key == 0 || key == 0xE0) return ExtendedKey + static_cast<uint32_t>(ConsoleReadKey());
    return static_cast<uint32_t>(key);
}

uint16_t SetNoticeColor() {
    ConsoleScreenInfo info{};
    uint8_t previous = 0;
    if (ConsoleGetScreenInfo(ConsoleOutputHandle, &info)) previous = info.Attributes & 0xFF;
    if (previous == 0) previous = 0x07;
    uint8_t notice = ContrastColors[0][previous >> 4];
    if (notice == previous) notice = ContrastColors[1][previous >> 4];
    ConsoleSetAttribute(ConsoleOutputHandle, notice);
    SetColors(notice);
    return previous;
}

void WriteBreakNotice() {
    uint16_t previous = SetNoticeColor();
    WriteDirect(BreakNotice);
    ConsoleSetAttribute(ConsoleOutputHandle, previous);
    // The host learns the restored colour too: left at the notice colour, it would report it
    // as its own and the next command would take it as its normal colour.
    SetColors(previous);
}

int PagedPrintfV(const wchar_t* format, va_list args) {
    if (format == nullptr) return OutputNoInput;
    if (format[0] == L'\0') return OutputDone;
    WorkBuffers buffers;
    int status = FormatIntoWorkBuffers(format, args, buffers);
    if (status != OutputDone) return status;

    wchar_t* line = buffers.work.get();
    size_t used = 0;
    for (const wchar_t* p = buffers.text.get(); *p != L'\0'; ++p) {
        wchar_t c = *p;
        if (c == L'\n') {
            if (used != 0) {
                line[used] = L'\0';
                QPuts(line);
            }
            if (EndOfLine() == OutputBreak) return OutputBreak;
            used = 0;
        } else if (c != L'\r' && !(c >= MarkNormal && c <= MarkContrastReverse)) {
            line[used++] = c;
        }
    }
    if (used != 0) {
        line[used] = L'\0';
        QPuts(line);
    }
    return OutputDone;
}

int PagedPrintf(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int status = PagedPrintfV(format, args);
    va_end(args);
    return status;
}

uint32_t SetPageLength(uint32_t requested) {
    uint32_t length = 0;
    ConsoleScreenInfo info{};
    if (ConsoleGetScreenInfo(ConsoleStdOutput(), &info)) {
        int height = info.Bottom - info.Top + 1;
        if (height >= 10 && height <= 100) {
            uint32_t rows = static_cast<uint32_t>(height);
            length = requested >= 3 && requested < rows ? requested : rows - 2;
        }
    }
    PageLines = LinesLeft = length;
    return length;
}
