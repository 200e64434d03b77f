// Placeholder until this service is implemented.
#include "dns/output/Highlight.h"

uint8_t ColorNormal, ColorHighlight, ColorNormalReverse, ColorHighlightReverse, ColorContrast,
    ColorContrastReverse;

int HighlightPrintf(const wchar_t* format, ...) { return format == nullptr ? -1 : 0; }
int WriteColorRun(uint32_t, const wchar_t* text) { return text == nullptr ? -1 : 0; }
