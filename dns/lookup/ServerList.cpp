// The DNS servers of one command run: a named server, or the system's configured ones.
#include "dns/lookup/ServerList.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "dns/frame/HostApi.h"
#include "platform/resolver/AddrInfo.h"
#include "platform/resolver/NetworkParams.h"
#include "platform/text/Sockets.h"

namespace {
// How many configured entries are read. Entries that are skipped (IPv6, invalid) do not
// count towards the eight kept, so more than eight are read.
constexpr int MaxServerTexts = 64;
constexpr size_t AddressTextSize = 1024;
} // namespace

int ResolveServerName(const wchar_t* name, SockAddr4* address) {
    if (address == nullptr || name == nullptr || name[0] == L'\0') return -1;
    std::memset(address, 0, sizeof *address);

    SockAddrInfo* list = SockGetAddrInfo4(name);
    if (list == nullptr) return 0;
    int found = 0;
    for (SockAddrInfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen == sizeof(SockAddr4) &&
            entry->ai_addr != nullptr) {
            std::memcpy(address, entry->ai_addr, sizeof *address);
            found = 1;
            break;
        }
    }
    SockFreeAddrInfo(list);
    return found;
}

int LoadDefaultServers(ServerList* list) {
    if (list == nullptr) return -1;
    list->AddrCount = 0;

    std::unique_ptr<char[][NetworkServerTextSize]> texts(
        new (std::nothrow) char[MaxServerTexts][NetworkServerTextSize]);
    if (texts == nullptr) return 0;
    int count = NetworkDnsServerTexts(texts.get(), MaxServerTexts);
    for (int i = 0; i < count && list->AddrCount < ServerListCapacity; ++i) {
        texts[i][NetworkServerTextSize - 1] = '\0';
        if (texts[i][0] == '\0') continue;
        // 0 and all bits set (also the conversion's failure value) are never usable servers.
        uint32_t address = SockInetAddr(texts[i]);
        if (address == 0 || address == SockInvalidAddress) continue;
        list->AddrArray[list->AddrCount++] = address;
    }
    return static_cast<int>(list->AddrCount);
}

ServerList* BuildServerList(const uint32_t* addresses, uint32_t count, bool trace) {
    auto* list = new (std::nothrow) ServerList{};
    if (list == nullptr) return nullptr;

    if (addresses != nullptr && count > 0) {
        // More than the capacity is a caller's error; the surplus is dropped, never stored.
        uint32_t kept = count < ServerListCapacity ? count : ServerListCapacity;
        std::memcpy(list->AddrArray, addresses, kept * sizeof(uint32_t));
        list->AddrCount = kept;
    } else {
        LoadDefaultServers(list);
    }

    if (trace) {
        for (uint32_t i = 0; i < list->AddrCount; ++i) {
            std::array<wchar_t, AddressTextSize> text{};
            SockInetNtop4(list->AddrArray[i], text.data(), text.size());
            text.back() = L'\0';
            Printf(L"   *  DnsServers[%u] = %s\r\n", i, text.data());
        }
    }

    if (list->AddrCount == 0) {
        delete list;
        return nullptr;
    }
    return list;
}

void FreeServerList(ServerList* list) {
    delete list;
}
