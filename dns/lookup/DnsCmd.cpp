// Placeholder until this service is implemented.
#include "dns/frame/Plugin.h"

// The path of this file as the build records it; the version banner shows its base name.
extern const char DnsCommandSourcePath[] = __FILE__;

extern "C" int dns(const wchar_t*) { return 1; }
