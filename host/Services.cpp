// Placeholder until this service is implemented.
#include "dns/frame/HostApi.h"

extern "C" {
int Printf(const wchar_t*, ...) { return 0; }
int Qprintf(HostHandle, const wchar_t*, ...) { return 0; }
int QPuts(const wchar_t*) { return 0; }
int ExpandVariables(wchar_t*, int) { return 0; }
int SetColors(int) { return 0; }
int GetAttribute(int*, int*) { return 0; }
int ParseColors(const wchar_t*, int*, int*) { return 0; }
int tty_yield(int) { return 0; }
}
