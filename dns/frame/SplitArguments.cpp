// Placeholder until this service is implemented.
#include "dns/frame/SplitArguments.h"

wchar_t ArgBuffer[MAX_ARG_LEN];
wchar_t* ArgVector[MAX_ARGS];
int32_t ArgLengths[MAX_ARGS];
int32_t ArgCount;

int SplitArguments(const wchar_t*, uint32_t) { return -1; }
int ParseUnsigned(const wchar_t*, uint32_t*, const wchar_t**) { return -1; }
