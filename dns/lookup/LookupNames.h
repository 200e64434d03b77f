// The lookups of all names of one DNS command.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dns/lookup/ServerList.h"

// Looks up the names in order, each as LookupName would print it. The queries of up to
// MaxNamesAhead names (at most MaxQueriesInFlight queries) are in flight while the output is
// written, the page prompt waits or the answers are awaited; a break during that wait writes
// the break notice and gives up what is in flight. Each summary line shows the name's own
// network time: from its first query sent to the last answer its output needed. Returns
// OutputBreak; LookupQueryFailed when a query some name needed failed (each name's failures are
// reported after its block); else the last name's result.
int LookupNames(ServerList* servers, const wchar_t* const* names, size_t count, uint32_t flags,
                uint32_t width);
