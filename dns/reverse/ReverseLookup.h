// Reverse lookups of IPv4 and IPv6 addresses, and address parsing.
#pragma once
#include <cstdint>

#include "dns/lookup/ServerList.h"

inline constexpr uint32_t ReverseAllNames = 0x001;
inline constexpr uint32_t ReverseTrace = 0x100;

// Returns 4 (IPv4 stored), 6 (IPv6 stored), 0 (neither) or -1 (no IPv4 place).
int ParseAddress(const wchar_t* text, uint32_t* address4, SockAddr6* address6);
int ReverseLookupV4(ServerList* servers, uint32_t address, uint32_t options);
int ReverseLookupV6(ServerList* servers, const SockAddr6* address, uint32_t options);
