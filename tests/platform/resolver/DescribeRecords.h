// One line of text per DNS_RECORD, so that platform tests compare whole answers at once.
#pragma once
#include <arpa/inet.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resolver/DnsClient.h"

namespace {

constexpr uint16_t A = 1, NS = 2, CNAME = 5, SOA = 6, PTR = 12, MX = 15, TXT = 16, AAAA = 28,
                   LOC = 29;

struct ListDeleter {
    void operator()(DNS_RECORD* list) const { DnsFree(list, DnsFreeRecordList); }
};
using RecordList = std::unique_ptr<DNS_RECORD, ListDeleter>;

inline std::wstring Widen(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

// One line per record, so that whole answers compare in one expectation.
inline std::wstring Describe(const DNS_RECORD& r) {
    char address[INET6_ADDRSTRLEN] = "";
    switch (r.wType) {
    case A:
        return L"A " + Widen(inet_ntop(AF_INET, &r.Data.A.IpAddress, address, sizeof address));
    case AAAA:
        return L"AAAA " +
               Widen(inet_ntop(AF_INET6, r.Data.AAAA.Ip6Address, address, sizeof address));
    case NS:
        return std::wstring(L"NS ") + r.Data.NS.pNameHost;
    case CNAME:
        return std::wstring(L"CNAME ") + r.Data.CNAME.pNameHost;
    case PTR:
        return std::wstring(L"PTR ") + r.Data.PTR.pNameHost;
    case MX:
        return L"MX " + std::to_wstring(r.Data.MX.wPreference) + L" " + r.Data.MX.pNameExchange;
    case SOA: {
        const DNS_SOA_DATAW& s = r.Data.SOA;
        std::wstring text =
            std::wstring(L"SOA ") + s.pNamePrimaryServer + L" " + s.pNameAdministrator;
        for (uint32_t n : {s.dwSerialNo, s.dwRefresh, s.dwRetry, s.dwExpire, s.dwDefaultTtl})
            text += L" " + std::to_wstring(n);
        return text;
    }
    case TXT: {
        std::wstring text = L"TXT";
        for (uint32_t i = 0; i < r.Data.TXT.dwStringCount; ++i)
            text += std::wstring(L"[") + r.Data.TXT.pStringArray[i] + L"]";
        return text;
    }
    case LOC: {
        std::wstring text = L"LOC";
        for (uint8_t b : r.Data.LOC.Bytes)
            text += L" " + std::to_wstring(b);
        return text;
    }
    default:
        return L"TYPE" + std::to_wstring(r.wType);
    }
}

inline std::vector<std::wstring> DescribeAll(const DNS_RECORD* list) {
    std::vector<std::wstring> lines;
    for (; list != nullptr; list = list->pNext)
        lines.push_back(Describe(*list));
    return lines;
}

} // namespace
