// The system's configured DNS servers, as address texts in the system's order.
#pragma once
#include <cstddef>

constexpr size_t NetworkServerTextSize = 64;

// Fills texts with up to capacity server address texts (unfiltered: IPv6 and invalid entries
// included, each cut to NetworkServerTextSize - 1 bytes). Returns the count, or -1 when the
// configuration could not be read.
int NetworkDnsServerTexts(char (*texts)[NetworkServerTextSize], int capacity);
