// System name resolution through getaddrinfo.
#include "platform/resolver/AddrInfo.h"

#include <cstring>

#include "platform/text/Text.h"

SockAddrInfo* SockGetAddrInfo4(const wchar_t* name) {
    if (name == nullptr) return nullptr;
    // Far longer than any host name; a text that fills it could only have been cut.
    char node[4096];
    if (WideToNarrow(name, node, sizeof node) >= sizeof node - 1) return nullptr;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (getaddrinfo(node, nullptr, &hints, &list) != 0) return nullptr;
    return list;
}

void SockFreeAddrInfo(SockAddrInfo* list) {
    if (list != nullptr) freeaddrinfo(list);
}
