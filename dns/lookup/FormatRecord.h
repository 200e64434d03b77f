// The record table's lines for one resource record.
#pragma once
#include <cstdint>

#include "platform/resolver/DnsClient.h"

inline constexpr int LocTextSize = 1024;

int FormatRecord(DNS_RECORD* record, uint32_t width, bool asciiOnly);
int FormatLocCoordinate(uint32_t value, const wchar_t* letters, bool asciiOnly, wchar_t* out);
int TruncateToWidth(wchar_t* text, uint32_t width, bool asciiOnly);
