// One query of one name and type: the records of the type, optionally sorted, each formatted;
// for SOA optionally walking up to the parent domains until one has records.
#include "dns/lookup/QueryName.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <memory>
#include <new>
#include <span>

#include "dns/lookup/FormatRecord.h"
#include "dns/lookup/LookupFlags.h"
#include "dns/output/OutputResult.h"
#include "platform/text/AsciiCase.h"

namespace {

int Sign(int64_t difference) {
    return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

int CompareBytes(const void* left, const void* right, size_t length) {
    return Sign(std::memcmp(left, right, length));
}

// Case-insensitive for A to Z only, then by code unit; a missing string counts as empty.
int CompareNames(const wchar_t* left, const wchar_t* right) {
    if (left == nullptr) left = L"";
    if (right == nullptr) right = L"";
    auto fold = [](wchar_t c) -> uint32_t {
        uint32_t unit = static_cast<uint32_t>(LowerAscii(c));
        if constexpr (sizeof(wchar_t) == 4) {
            // Rank UTF-32 text as its UTF-16 form sorts: a character beyond the BMP is a
            // surrogate pair there, above U+D7FF and below U+E000.
            if (unit >= 0x10000) return 0xD800 + (unit - 0x10000);
            if (unit >= 0xD800) return unit + 0x100000;
        }
        return unit;
    };
    for (;; ++left, ++right) {
        uint32_t l = fold(*left), r = fold(*right);
        if (l != r) return l < r ? -1 : 1;
        if (l == 0) return 0;
    }
}

int CompareTxt(const DNS_RECORD& left, const DNS_RECORD& right) {
    const uint32_t leftCount = DnsRecordTxtCount(&left), rightCount = DnsRecordTxtCount(&right);
    const uint32_t common = std::min(leftCount, rightCount);
    for (uint32_t i = 0; i < common; ++i)
        if (int c = CompareNames(DnsRecordTxtString(&left, i), DnsRecordTxtString(&right, i)))
            return c;
    return Sign(int64_t(leftCount) - int64_t(rightCount));
}

// The sort key alone; equal keys give 0.
int CompareKeys(uint16_t type, const DNS_RECORD& left, const DNS_RECORD& right) {
    switch (type) {
    case DNS_TYPE_A:
        return CompareBytes(&left.Data.A.IpAddress, &right.Data.A.IpAddress, 4);
    case DNS_TYPE_AAAA:
        return CompareBytes(DnsRecordIp6Bytes(&left), DnsRecordIp6Bytes(&right), 16);
    case DNS_TYPE_NS:
    case DNS_TYPE_CNAME:
    case DNS_TYPE_PTR:
        return CompareNames(left.Data.PTR.pNameHost, right.Data.PTR.pNameHost);
    case DNS_TYPE_SOA: {
        // The serial as the resolver stores it, byte by byte: deliberately not numeric.
        if (int c = CompareBytes(&left.Data.SOA.dwSerialNo, &right.Data.SOA.dwSerialNo, 4))
            return c;
        if (int c =
                CompareNames(left.Data.SOA.pNamePrimaryServer, right.Data.SOA.pNamePrimaryServer))
            return c;
        return CompareNames(left.Data.SOA.pNameAdministrator, right.Data.SOA.pNameAdministrator);
    }
    case DNS_TYPE_MX:
        if (left.Data.MX.wPreference != right.Data.MX.wPreference)
            return left.Data.MX.wPreference < right.Data.MX.wPreference ? -1 : 1;
        return CompareNames(left.Data.MX.pNameExchange, right.Data.MX.pNameExchange);
    case DNS_TYPE_TEXT:
        return CompareTxt(left, right);
    case DNS_TYPE_LOC:
        return CompareBytes(DnsRecordLocBytes(&left) + 4, DnsRecordLocBytes(&right) + 4, 12);
    default:
        return 0;
    }
}

// Formats the records of the type in list order; stops at the first break.
int FormatInListOrder(DNS_RECORD* list, uint16_t type, uint32_t width, bool asciiOnly) {
    for (DNS_RECORD* record = list; record != nullptr; record = record->pNext)
        if (record->wType == type && FormatRecord(record, width, asciiOnly) == OutputBreak)
            return OutputBreak;
    return OutputDone;
}

// Prints the n records of the type in list; sorted when asked and possible.
int PrintRecords(DNS_RECORD* list, uint32_t n, uint16_t type, uint32_t flags, uint32_t width) {
    const bool asciiOnly = (flags & AsciiOnly) != 0;
    if (n < 2 || (flags & SortRecords) == 0) return FormatInListOrder(list, type, width, asciiOnly);

    std::unique_ptr<DNS_RECORD*[]> array(new (std::nothrow) DNS_RECORD*[n]);
    if (array == nullptr) return FormatInListOrder(list, type, width, asciiOnly);
    std::span<DNS_RECORD*> entries(array.get(), n);
    size_t filled = 0;
    for (DNS_RECORD* record = list; record != nullptr && filled < n; record = record->pNext)
        if (record->wType == type) entries[filled++] = record;
    // Stable, so that equal keys keep list order: the lower position is the smaller entry.
    std::stable_sort(
        entries.begin(), entries.begin() + filled,
        [type](const DNS_RECORD* l, const DNS_RECORD* r) { return CompareKeys(type, *l, *r) < 0; });
    for (size_t i = 0; i < filled; ++i)
        if (FormatRecord(entries[i], width, asciiOnly) == OutputBreak) return OutputBreak;
    return OutputDone;
}

} // namespace

uint32_t CountRecords(const DNS_RECORD* list, uint16_t type) {
    uint32_t n = 0;
    for (; list != nullptr; list = list->pNext)
        if (list->wType == type) ++n;
    return n;
}

const wchar_t* ParentDomain(const wchar_t* name) {
    const wchar_t* dot = std::wcschr(name, L'.');
    if (dot == nullptr || dot[1] == L'.' || std::wcschr(dot + 1, L'.') == nullptr) return nullptr;
    return dot + 1;
}

int PrintQueryResult(DNS_STATUS status, DNS_RECORD* list, uint16_t type, uint32_t flags,
                     uint32_t width, uint32_t* total, bool* found) {
    *found = false;
    if (status != 0 || list == nullptr) return OutputDone;
    uint32_t n = CountRecords(list, type);
    if (n == 0) return OutputDone;
    int result = PrintRecords(list, n, type, flags, width);
    if (total != nullptr) *total += n;
    *found = true;
    return result;
}

int QueryName(ServerList* servers, const wchar_t* name, uint16_t type, uint32_t flags,
              uint32_t width, uint32_t* total, NameFailures* failures) {
    if (type == 0 || name == nullptr || name[0] == L'\0') return OutputNoInput;
    IP4_ARRAY* serverArray = servers != nullptr ? AsIp4Array(servers) : nullptr;

    // Each step of the walk removes one label, so this ends after at most as many steps as
    // the name has dots.
    for (const wchar_t* current = name; current != nullptr; current = ParentDomain(current)) {
        DNS_RECORD* list = nullptr;
        DNS_STATUS status =
            DnsQuery_W(current, type, ForwardQueryOptions, serverArray, &list, nullptr);
        NoteQueryOutcome(failures, type, status);
        bool found = false;
        int result = PrintQueryResult(status, list, type, flags, width, total, &found);
        // A failed query's records are never read, but still released.
        if (list != nullptr) DnsFree(list, DnsFreeRecordList);
        if (found) return result;
        if ((flags & WalkUpParents) == 0) break;
    }
    return OutputDone;
}

int CompareRecords(uint16_t type, const DNS_RECORD* const* left, const DNS_RECORD* const* right) {
    if (left == right) return 0;
    if (left == nullptr || right == nullptr || *left == nullptr || *right == nullptr)
        return std::less<const void*>()(left, right) ? -1 : 1;
    if (int c = CompareKeys(type, **left, **right)) return c;
    // Equal keys: the entry at the lower position in the array is the smaller one.
    return std::less<const DNS_RECORD* const*>()(left, right) ? -1 : 1;
}
