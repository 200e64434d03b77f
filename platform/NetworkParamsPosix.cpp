// Placeholder until this service is implemented.
#include "platform/NetworkParams.h"

int NetworkDnsServerTexts(char (*)[NetworkServerTextSize], int) { return -1; }
