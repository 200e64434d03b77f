// PTR lookups of one address: the reverse name, the query and the result lines.
#include <array>
#include <cstring>

#include "dns/frame/Errors.h"
#include "dns/frame/HostApi.h"
#include "dns/output/ServerText.h"
#include "dns/reverse/ReverseLookup.h"
#include "platform/console/Console.h"
#include "platform/resolver/DnsClient.h"
#include "platform/text/Sockets.h"
#include "platform/text/Text.h"

namespace {

using TextBuffer = std::array<wchar_t, ReverseTextSize>;

} // namespace

void TraceReverseNames(const wchar_t* addrString, const wchar_t* hostName, uint32_t options) {
    if ((options & ReverseTrace) != 0)
        Printf(L"   *  AddrString = '%s'   HostName = '%s'\r\n", addrString, hostName);
}

int PrintPtrResult(const wchar_t* addrString, DNS_STATUS status, DNS_RECORD* list,
                   uint32_t options) {
    if (status != 0) {
        TextBuffer statusText{};
        FormatStatusText(status, statusText.data());
        PrintErrorPrefix();
        Qprintf(ConsoleStdError(), L"Error looking up \"%s\": %s\r\n", addrString,
                statusText.data());
        return 2;
    }
    if (list == nullptr) return 0;

    bool printed = false;
    for (const DNS_RECORD* record = list; record != nullptr; record = record->pNext) {
        if (record->wType != DNS_TYPE_PTR) continue;
        // The host name as the table would show it: no control character from the server.
        ShownServerText name(record->Data.PTR.pNameHost);
        Printf(L"%-25s \x23AF\x2192 %s\r\n", addrString, name.text());
        printed = true;
        if ((options & ReverseAllNames) == 0) break;
    }
    // Records came, but none named a host: still show that the address answered.
    if (!printed) Printf(L"%-25s \x23AF\x2192 \r\n", addrString);
    return 0;
}

void BuildReverseNamesV4(uint32_t address, ReverseNames& names) {
    uint8_t octets[4];
    std::memcpy(octets, &address, sizeof octets); // network order: first octet first
    unsigned o1 = octets[0], o2 = octets[1], o3 = octets[2], o4 = octets[3];
    names.addrString.fill(L'\0');
    names.hostName.fill(L'\0');
    FormatWide(names.addrString.data(), names.addrString.size(), L"%u.%u.%u.%u", o1, o2, o3, o4);
    FormatWide(names.hostName.data(), names.hostName.size(), L"%u.%u.%u.%u.in-addr.arpa", o4, o3,
               o2, o1);
}

void BuildReverseNamesV6(const SockAddr6* address, ReverseNames& names) {
    SockAddr6 copy;
    std::memcpy(&copy, address, sizeof copy);
    names.addrString.fill(L'\0');
    names.hostName.fill(L'\0');
    // A failed rendering leaves the text empty; the lookup still goes ahead.
    if (copy.sin6_family == AF_INET6)
        SockAddress6ToString(&copy, names.addrString.data(), names.addrString.size());

    // Nibbles from the last address byte to the first, low nibble first, each with a dot.
    static constexpr wchar_t Digits[] = L"0123456789abcdef";
    uint8_t bytes[16];
    std::memcpy(bytes, &copy.sin6_addr, sizeof bytes);
    size_t at = 0;
    for (int i = 15; i >= 0; --i) {
        names.hostName[at++] = Digits[bytes[i] & 0x0F];
        names.hostName[at++] = L'.';
        names.hostName[at++] = Digits[bytes[i] >> 4];
        names.hostName[at++] = L'.';
    }
    FormatWide(names.hostName.data() + at, names.hostName.size() - at, L"ip6.arpa");
}

namespace {

// Queries the PTR records of the reverse name and prints them under the address. 0, or 2
// when the query failed.
int LookupPtr(ServerList* servers, const ReverseNames& names, uint32_t options) {
    TraceReverseNames(names.addrString.data(), names.hostName.data(), options);
    // The standard query: the local cache and hosts file may answer reverse names.
    DNS_RECORD* list = nullptr;
    DNS_STATUS status =
        DnsQuery_W(names.hostName.data(), DNS_TYPE_PTR, ReverseQueryOptions,
                   servers != nullptr ? AsIp4Array(servers) : nullptr, &list, nullptr);
    int result = PrintPtrResult(names.addrString.data(), status, list, options);
    if (list != nullptr) DnsFree(list, DnsFreeRecordList);
    return result;
}

} // namespace

int ReverseLookupV4(ServerList* servers, uint32_t address, uint32_t options) {
    ReverseNames names;
    BuildReverseNamesV4(address, names);
    return LookupPtr(servers, names, options);
}

int ReverseLookupV6(ServerList* servers, const SockAddr6* address, uint32_t options) {
    if (address == nullptr) return 2;
    ReverseNames names;
    BuildReverseNamesV6(address, names);
    return LookupPtr(servers, names, options);
}
