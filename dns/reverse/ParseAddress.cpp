// Placeholder until this service is implemented.
#include "dns/reverse/ReverseLookup.h"

int ParseAddress(const wchar_t*, uint32_t*, SockAddr6*) { return 0; }
