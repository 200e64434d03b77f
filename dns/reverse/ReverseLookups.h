// The reverse lookups of all addresses of one RDNS command.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dns/lookup/ServerList.h"

// Parses each argument and looks it up in order, printing what ReverseLookupV4 or
// ReverseLookupV6 would, or "Bad IP address" for an argument that is neither. The PTR queries
// of up to MaxNamesAhead addresses are in flight while earlier results are printed. Returns
// the highest of 1 for each unreadable argument and 2 for each failed lookup, else 0.
int ReverseLookupAll(ServerList* servers, const wchar_t* const* arguments, size_t count,
                     uint32_t options);
