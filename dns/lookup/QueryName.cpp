// Placeholder until this service is implemented.
#include "dns/lookup/QueryName.h"

int QueryName(ServerList*, const wchar_t*, uint16_t, uint32_t, uint32_t, uint32_t*) { return -1; }
int CompareRecords(uint16_t, const DNS_RECORD* const*, const DNS_RECORD* const*) { return 0; }
