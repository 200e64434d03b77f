// Argument splitting into the module-wide argument vector, and numeric arguments.
#pragma once
#include <cstdint>

inline constexpr int MAX_ARG_LEN = 8192;
inline constexpr int MAX_ARGS = 1024;

inline constexpr uint32_t ARG_SPLIT_BLANKS = 0x0001;
inline constexpr uint32_t ARG_SPLIT_COMMAS = 0x0002;
inline constexpr uint32_t ARG_SPLIT_SWITCHES = 0x0004;
inline constexpr uint32_t ARG_QUOTE_TO_COLON = 0x0008;
inline constexpr uint32_t ARG_SPLIT_EQUALS = 0x0010;
inline constexpr uint32_t ARG_REST_AS_ONE = 0x0020;
inline constexpr uint32_t ARG_KEEP_QUOTES = 0x0040;
inline constexpr uint32_t ARG_UPPER_CASE = 0x0080;
inline constexpr uint32_t ARG_NO_TRIM = 0x0100;
inline constexpr uint32_t ARG_PLAIN_QUOTES = 0x0200;
inline constexpr uint32_t ARG_EQUALS_PLAIN_QUOTES = 0x0400;
inline constexpr uint32_t ARG_EXCLUDE_LISTS = 0x0800;
inline constexpr uint32_t ARG_REST_AFTER_FIRST = 0x1000;
inline constexpr uint32_t ARG_SPLIT_TABS = 0x2000;
inline constexpr uint32_t ARG_REST_KEEP_QUOTES = 0x4000;

extern wchar_t ArgBuffer[MAX_ARG_LEN];
extern wchar_t* ArgVector[MAX_ARGS];
extern int32_t ArgLengths[MAX_ARGS];
extern int32_t ArgCount;

// Splits line into ArgVector; returns the count, or -1 (null line, or overflow: reported).
int SplitArguments(const wchar_t* line, uint32_t flags);
// Reads a decimal, 0x hexadecimal or 0o octal unsigned 32-bit number. Returns 0, -1 (not a
// number) or 34 (out of range). With end null the number must fill the whole text.
int ParseUnsigned(const wchar_t* text, uint32_t* value, const wchar_t** end);
