// Highlighted formatted output: markup characters 17 to 22 select one of six colour slots.
#pragma once
#include <cstdint>

#include "dns/output/OutputResult.h"

inline constexpr wchar_t MarkNormal = 17;
inline constexpr wchar_t MarkHighlight = 18;
inline constexpr wchar_t MarkNormalReverse = 19;
inline constexpr wchar_t MarkHighlightReverse = 20;
inline constexpr wchar_t MarkContrast = 21;
inline constexpr wchar_t MarkContrastReverse = 22;

extern uint8_t ColorNormal;
extern uint8_t ColorHighlight;
extern uint8_t ColorNormalReverse;
extern uint8_t ColorHighlightReverse;
extern uint8_t ColorContrast;
extern uint8_t ColorContrastReverse;

int HighlightPrintf(const wchar_t* format, ...);
int WriteColorRun(uint32_t attribute, const wchar_t* text);
