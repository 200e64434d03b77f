// System name resolution through GetAddrInfoW, IPv4 only.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/resolver/AddrInfo.h"
#include "platform/text/SocketLibrary.h"

SockAddrInfo* SockGetAddrInfo4(const wchar_t* name) {
    if (name == nullptr || !SocketLibraryStarted()) return nullptr;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    ADDRINFOW* list = nullptr;
    // Only the list counts, not the status.
    GetAddrInfoW(name, nullptr, &hints, &list);
    return list;
}

void SockFreeAddrInfo(SockAddrInfo* list) {
    if (list != nullptr) FreeAddrInfoW(list);
}
