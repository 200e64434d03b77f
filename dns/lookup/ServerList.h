// The DNS servers of one command run.
#pragma once
#include <cstdint>

#include "platform/resolver/DnsClient.h"
#include "platform/text/SocketTypes.h"

inline constexpr uint32_t ServerListCapacity = 8;

// Same layout as the DNS client's IP4_ARRAY, with room for eight addresses.
struct ServerList {
    uint32_t AddrCount;
    uint32_t AddrArray[ServerListCapacity];
};

inline IP4_ARRAY* AsIp4Array(ServerList* list) {
    return reinterpret_cast<IP4_ARRAY*>(list);
}

int ResolveServerName(const wchar_t* name, SockAddr4* address);
int LoadDefaultServers(ServerList* list);
// Builds the list from count explicit addresses (network order) or the system's servers,
// prints the "/$" trace; returns null when no server is known (the resolver's own
// configuration is then used). Free with FreeServerList.
ServerList* BuildServerList(const uint32_t* addresses, uint32_t count, bool trace);
void FreeServerList(ServerList* list);
