// Reverse lookups of IPv4 and IPv6 addresses, and address parsing.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "dns/lookup/ServerList.h"

inline constexpr uint32_t ReverseAllNames = 0x001;
inline constexpr uint32_t ReverseTrace = 0x100;

// What ParseAddress found: an IPv4 or an IPv6 address stored.
inline constexpr int AddressIsV4 = 4;
inline constexpr int AddressIsV6 = 6;
// Returns AddressIsV4, AddressIsV6, 0 (neither) or -1 (no IPv4 place).
int ParseAddress(const wchar_t* text, uint32_t* address4, SockAddr6* address6);
int ReverseLookupV4(ServerList* servers, uint32_t address, uint32_t options);
int ReverseLookupV6(ServerList* servers, const SockAddr6* address, uint32_t options);

// Reverse queries may be answered from the cache and the hosts file.
inline constexpr uint32_t ReverseQueryOptions = DNS_QUERY_STANDARD;

// The two texts of one address: as shown, and the name under in-addr.arpa or ip6.arpa.
inline constexpr size_t ReverseTextSize = 1024;
struct ReverseNames {
    std::array<wchar_t, ReverseTextSize> addrString;
    std::array<wchar_t, ReverseTextSize> hostName;
};
void BuildReverseNamesV4(uint32_t address, ReverseNames& names);
void BuildReverseNamesV6(const SockAddr6* address, ReverseNames& names);

// The "/$" line of one address, before its result.
void TraceReverseNames(const wchar_t* addrString, const wchar_t* hostName, uint32_t options);
// The result lines of one PTR query (the list stays the caller's): 0, or 2 when it failed.
int PrintPtrResult(const wchar_t* addrString, DNS_STATUS status, DNS_RECORD* list,
                   uint32_t options);
