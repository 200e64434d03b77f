// Placeholder until this service is implemented.
#include "dns/reverse/ReverseLookup.h"

int ReverseLookupV4(ServerList*, uint32_t, uint32_t) { return 2; }
int ReverseLookupV6(ServerList*, const SockAddr6*, uint32_t) { return 2; }
