// Placeholder until this service is implemented.
#include "dns/lookup/LookupName.h"

int LookupName(ServerList*, const wchar_t*, uint32_t, uint32_t) { return -1; }
