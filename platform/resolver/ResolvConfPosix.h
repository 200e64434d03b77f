// The resolver configuration file's server entries, for NetworkDnsServerTexts.
#pragma once
#include <string_view>

#include "platform/resolver/NetworkParams.h"

// Stores the address token of each "nameserver" line of text, in order, up to capacity
// (each cut to NetworkServerTextSize - 1 bytes). Returns the count stored.
int ParseResolvConfServers(std::string_view text, char (*texts)[NetworkServerTextSize],
                           int capacity);

// Reads the file at path and parses it as above; -1 when it cannot be read.
int ReadResolvConfServers(const char* path, char (*texts)[NetworkServerTextSize], int capacity);
