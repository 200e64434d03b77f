// How many lookups a command keeps in flight. The DNS and RDNS commands send the queries of
// many names at once and print in argument order; the old one-query-at-a-time order stays
// reachable for comparison through the environment, never through a command option.
#pragma once
#include <cstddef>

// Names (DNS) or addresses (RDNS) whose queries may be in flight ahead of the output.
inline constexpr size_t MaxNamesAhead = 1024;
// Queries in flight at once, for all of those names together.
inline constexpr size_t MaxQueriesInFlight = 256;

// The environment variable that, set to anything but "" or "0", makes both commands ask one
// query at a time in the order of the record walk, waiting for each answer.
inline constexpr const wchar_t* OneAtATimeVariable = L"CORVANE_DNS_ONE_AT_A_TIME";

bool OneQueryAtATime();
