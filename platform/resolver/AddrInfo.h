// Name resolution of the system (getaddrinfo), IPv4 only.
#pragma once
#include "platform/text/SocketTypes.h"

// Resolves name for the IPv4 family (no flags, any socket type and protocol). Returns the
// result list or null; free it with SockFreeAddrInfo. Members read: ai_family, ai_addrlen,
// ai_addr, ai_next.
SockAddrInfo* SockGetAddrInfo4(const wchar_t* name);
void SockFreeAddrInfo(SockAddrInfo* list);
