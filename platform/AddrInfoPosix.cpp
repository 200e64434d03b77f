// System name resolution through getaddrinfo.
#include "platform/AddrInfo.h"

#include <cstring>

#include "platform/Text.h"

SockAddrInfo* SockGetAddrInfo4(const wchar_t* name) {
    if (name == nullptr) return nullptr;
    std::string node = WideToUtf8(name);
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (getaddrinfo(node.c_str(), nullptr, &hints, &list) != 0) return nullptr;
    return list;
}

void SockFreeAddrInfo(SockAddrInfo* list) {
    if (list != nullptr) freeaddrinfo(list);
}
