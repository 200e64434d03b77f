// Placeholder until this service is implemented.
#include "dns/output/Pager.h"

uint32_t PageLines, LinesLeft, PauseTime;
const uint8_t ContrastColors[3][16] = {};

int EndOfLine() { return 0; }
int PagedPrintf(const wchar_t* format, ...) { return format == nullptr ? -1 : 0; }
uint32_t SetPageLength(uint32_t) { return 0; }
uint32_t WaitForPageKey() { return 32; }
uint16_t SetNoticeColor() { return 7; }
void WriteBreakNotice() {}
