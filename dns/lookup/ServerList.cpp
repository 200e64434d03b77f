// Placeholder until this service is implemented.
#include "dns/lookup/ServerList.h"

int ResolveServerName(const wchar_t*, SockAddr4*) { return -1; }
int LoadDefaultServers(ServerList*) { return -1; }
ServerList* BuildServerList(const uint32_t*, uint32_t, bool) { return nullptr; }
void FreeServerList(ServerList*) {}
