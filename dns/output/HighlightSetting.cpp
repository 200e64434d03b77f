// Placeholder until this service is implemented.
#include "dns/output/HighlightSetting.h"

uint8_t LoadHighlightSetting(int) { return 0; }
