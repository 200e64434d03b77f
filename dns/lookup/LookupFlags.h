// The DNS command's option word, passed down the lookup chain.
#pragma once
#include <cstdint>

inline constexpr uint32_t NoHeaders = 0x02;
inline constexpr uint32_t NoNameLine = 0x04;
inline constexpr uint32_t SortRecords = 0x08;
inline constexpr uint32_t AsciiOnly = 0x10;
inline constexpr uint32_t ShowSummary = 0x20;
inline constexpr uint32_t WalkUpParents = 0x1000;

// Record type numbers.
inline constexpr uint16_t TypeA = 1;
inline constexpr uint16_t TypeNS = 2;
inline constexpr uint16_t TypeCNAME = 5;
inline constexpr uint16_t TypeSOA = 6;
inline constexpr uint16_t TypePTR = 12;
inline constexpr uint16_t TypeMX = 15;
inline constexpr uint16_t TypeTXT = 16;
inline constexpr uint16_t TypeAAAA = 28;
inline constexpr uint16_t TypeLOC = 29;
