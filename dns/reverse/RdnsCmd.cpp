// Placeholder until this service is implemented.
#include "dns/frame/Plugin.h"

extern "C" int rdns(const wchar_t*) { return 87; }
