// The complete output of the DNS command for one name.
#pragma once
#include <cstdint>

#include "dns/lookup/LookupFlags.h"
#include "dns/lookup/QueryFailures.h"
#include "dns/lookup/ServerList.h"

// Returns OutputBreak, LookupQueryFailed when a query the output needed failed (reported on
// standard error after the name's block), else the result of the closing line.
int LookupName(ServerList* servers, const wchar_t* name, uint32_t flags, uint32_t width);
inline constexpr int LookupQueryFailed = 1;

// The record types of a name, in the order they are queried and printed; PTR only for reverse
// names, SOA with the walk to parent domains.
struct LookupStep {
    uint16_t type;
    uint32_t extraFlags;
};
inline constexpr LookupStep LookupSteps[] = {{DNS_TYPE_A, 0},
                                             {DNS_TYPE_AAAA, 0},
                                             {DNS_TYPE_CNAME, 0},
                                             {DNS_TYPE_NS, 0},
                                             {DNS_TYPE_SOA, WalkUpParents},
                                             {DNS_TYPE_PTR, 0},
                                             {DNS_TYPE_MX, 0},
                                             {DNS_TYPE_TEXT, 0},
                                             {DNS_TYPE_LOC, 0}};

// Reverse names end in ".arpa", exactly so.
bool IsReverseName(const wchar_t* name);

// The name line, empty line, column titles and underline, as flags ask. 0 or OutputBreak.
int WriteNameHeader(const wchar_t* name, uint32_t flags);

// "No records found." when total is 0, else with ShowSummary the count and the elapsed time
// (100-nanosecond units). The result of its output, or 0 when nothing is written.
int WriteClosingLine(uint32_t total, uint32_t flags, uint64_t elapsed);

// The end of a name's block: the closing line, then the failed queries on standard error.
// OutputBreak, LookupQueryFailed, or the closing line's result.
int FinishName(const wchar_t* name, uint32_t total, uint32_t flags, uint64_t elapsed,
               const NameFailures& failures);
