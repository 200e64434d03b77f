// Placeholder until this service is implemented.
#include "dns/lookup/FormatRecord.h"

int FormatRecord(DNS_RECORD*, uint32_t, bool) { return -1; }
int FormatLocCoordinate(uint32_t, const wchar_t*, bool, wchar_t*) { return -1; }
int TruncateToWidth(wchar_t*, uint32_t, bool) { return -1; }
