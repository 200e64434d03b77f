// The name a POSIX query is sent for: internal to the POSIX DNS client.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/resolver/DnsTypes.h"

// Wire form of a name as typed. A name with characters outside ASCII is sent in its IDNA2008
// form (xn-- labels; UTS #46 non-transitional mapping, so letters are folded to lower case);
// one that is not valid IDNA is sent as typed, its characters as UTF-8. Pure ASCII names are
// never changed. Returns 0 or DNS_ERROR_INVALID_NAME, as DnsEncodeName.
DNS_STATUS DnsEncodeQueryName(const wchar_t* name, std::vector<uint8_t>& wire);
