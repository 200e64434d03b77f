// The system's configured DNS servers from the IP helper's GetNetworkParams, in its order.
#include <iphlpapi.h>
#include <winsock2.h>

#include <cstring>
#include <memory>
#include <new>

#include "platform/resolver/NetworkParams.h"

int NetworkDnsServerTexts(char (*texts)[NetworkServerTextSize], int capacity) {
    if (texts == nullptr || capacity <= 0) return -1;
    // The size first; the call's result is not looked at, only the size it writes back.
    ULONG size = 0;
    GetNetworkParams(nullptr, &size);
    if (size == 0) return -1;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
    if (block == nullptr) return -1;
    auto* info = reinterpret_cast<FIXED_INFO*>(block.get());
    if (GetNetworkParams(info, &size) != ERROR_SUCCESS) return -1;

    int count = 0;
    for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry != nullptr && count < capacity;
         entry = entry->Next) {
        const char* text = entry->IpAddress.String;
        size_t length = strnlen(text, sizeof entry->IpAddress.String);
        if (length > NetworkServerTextSize - 1) length = NetworkServerTextSize - 1;
        std::memcpy(texts[count], text, length);
        texts[count][length] = '\0';
        ++count;
    }
    return count;
}
