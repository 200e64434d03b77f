// Placeholder until this service is implemented.
#include "dns/output/Pager.h"

int ParsePageOption(wchar_t*, uint32_t*) { return 0; }
