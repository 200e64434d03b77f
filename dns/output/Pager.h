// The output pager: line ends, the page prompt and its keys, the break notice, the "/P" option.
#pragma once
#include <cstdint>

#include "dns/output/OutputResult.h"

extern uint32_t PageLines;
extern uint32_t LinesLeft;
extern uint32_t PauseTime;

extern const uint8_t ContrastColors[3][16];

int EndOfLine();
int PagedPrintf(const wchar_t* format, ...);
int ParsePageOption(wchar_t* argument, uint32_t* lines);
uint32_t SetPageLength(uint32_t requested);
// The page prompt's key: a key, 0x10000 + the second code of an extended key, the break key 3
// when the break flag is set (also when it was set before the wait), or 32 once the pause time
// ran out.
uint32_t WaitForPageKey();
uint16_t SetNoticeColor();
// Writes the " ^C " notice in the notice colour straight to the console.
void WriteBreakNotice();

// Runs while the page prompt waits for a key, for up to the given milliseconds at a time
// between two looks at the keyboard; null: the prompt sleeps. The DNS command lets its queries
// in flight go on meanwhile.
extern void (*PageWaitIdle)(uint32_t milliseconds);
