// One query of one name and type, its sort order and the SOA walk to parent domains.
#pragma once
#include <cstdint>

#include "dns/lookup/QueryFailures.h"
#include "dns/lookup/ServerList.h"

// Forward queries always go to the servers, never to the cache or the hosts file.
inline constexpr uint32_t ForwardQueryOptions = DNS_QUERY_BYPASS_CACHE | DNS_QUERY_NO_HOSTS_FILE;

// failures (when given) receives every query of the walk that failed.
int QueryName(ServerList* servers, const wchar_t* name, uint16_t type, uint32_t flags,
              uint32_t width, uint32_t* total, NameFailures* failures = nullptr);
int CompareRecords(uint16_t type, const DNS_RECORD* const* left, const DNS_RECORD* const* right);

// The parent domain the SOA walk tries after name, or null: the name needs at least two dots
// and a non-empty second label.
const wchar_t* ParentDomain(const wchar_t* name);

// One query's outcome as QueryName treats it: with status 0, the records of the type in list
// are printed (sorted when flags ask) and counted into total, and *found tells whether there
// were any. Returns 0 or OutputBreak. The list stays the caller's.
int PrintQueryResult(DNS_STATUS status, DNS_RECORD* list, uint16_t type, uint32_t flags,
                     uint32_t width, uint32_t* total, bool* found);

// The number of records of the type in a resolver list.
uint32_t CountRecords(const DNS_RECORD* list, uint16_t type);
