// Placeholder until this service is implemented.
#include "platform/Sockets.h"

uint32_t SockInetAddr(const char*) { return SockInvalidAddress; }
bool SockInetNtop4(uint32_t, wchar_t*, size_t) { return false; }
bool SockInetNtop6(const uint8_t*, wchar_t*, size_t) { return false; }
bool SockStringToAddress6(const wchar_t*, SockAddr6*) { return false; }
bool SockAddress6ToString(const SockAddr6*, wchar_t*, size_t) { return false; }
