// The DNS command's option word, passed down the lookup chain.
#pragma once
#include <cstdint>

inline constexpr uint32_t NoHeaders = 0x02;
inline constexpr uint32_t NoNameLine = 0x04;
inline constexpr uint32_t SortRecords = 0x08;
inline constexpr uint32_t AsciiOnly = 0x10;
inline constexpr uint32_t ShowSummary = 0x20;
inline constexpr uint32_t WalkUpParents = 0x1000;
