// The record table's lines for one resource record: type name, field name, value.
#include "dns/lookup/FormatRecord.h"

#include <array>
#include <cwchar>
#include <initializer_list>

#include "dns/lookup/LookupFlags.h"
#include "dns/output/Highlight.h"
#include "platform/Sockets.h"
#include "platform/Text.h"

namespace {

constexpr size_t AddressTextSize = 1024;
constexpr uint32_t LocEquator = 0x80000000u;  // 2^31: the equator or prime meridian
constexpr int64_t LocAltitudeBase = 10000000; // centimetres below the reference spheroid

// UTF-16 units of one wide character: a UTF-32 character beyond the BMP is a pair there.
size_t Utf16Units(wchar_t c) {
    return (static_cast<uint32_t>(c) >> 16) != 0 ? 2 : 1;
}
bool IsHighSurrogate(wchar_t c) {
    if constexpr (sizeof(wchar_t) == 2) return c >= 0xD800 && c <= 0xDBFF;
    return false;
}

// Record data may lack a string; it then prints as empty rather than faulting.
const wchar_t* Text(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

uint32_t ReadNetwork32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
           uint32_t(bytes[3]);
}

int FormatSoa(const DNS_SOA_DATAW& soa) {
    int result = HighlightPrintf(L"SOA     MNAME       %s\r\n", Text(soa.pNamePrimaryServer));
    if (result == OutputBreak) return result;
    result = HighlightPrintf(L"        RNAME       %s\r\n", Text(soa.pNameAdministrator));
    if (result == OutputBreak) return result;
    struct Field {
        const wchar_t* format;
        uint32_t value;
    };
    for (const Field& field : {Field{L"        SERIAL      %u\r\n", soa.dwSerialNo},
                               Field{L"        REFRESH     %u\r\n", soa.dwRefresh},
                               Field{L"        RETRY       %u\r\n", soa.dwRetry},
                               Field{L"        EXPIRE      %u\r\n", soa.dwExpire},
                               Field{L"        MINIMUM     %u\r\n", soa.dwDefaultTtl}}) {
        result = HighlightPrintf(field.format, field.value);
        if (result == OutputBreak) return result;
    }
    return result;
}

int FormatMx(const DNS_MX_DATAW& mx) {
    int result = HighlightPrintf(L"MX      PREFERENCE  %u\r\n", uint32_t(mx.wPreference));
    if (result == OutputBreak) return result;
    return HighlightPrintf(L"        EXCHANGE    %s\r\n", Text(mx.pNameExchange));
}

int FormatTxt(const DNS_RECORD* record, uint32_t width, bool asciiOnly) {
    const uint32_t count = DnsRecordTxtCount(record);
    if (count == 0) return OutputDone;
    if (count == 1) {
        // The resolver's list may be changed in place until it is freed.
        wchar_t* text = DnsRecordTxtString(record, 0);
        if (width != 0 && text != nullptr) TruncateToWidth(text, width, asciiOnly);
        return HighlightPrintf(L"TXT     TXT         %s\r\n", Text(text));
    }
    int result = OutputDone;
    for (uint32_t i = 0; i < count; ++i) {
        result =
            HighlightPrintf(L"TXT     TXT[%2u]     %s\r\n", i, Text(DnsRecordTxtString(record, i)));
        if (result == OutputBreak) return result;
    }
    return result;
}

int FormatLoc(const uint8_t* data, bool asciiOnly) {
    std::array<wchar_t, LocTextSize> latitude{}, longitude{};
    FormatLocCoordinate(ReadNetwork32(data + 4), L"NS", asciiOnly, latitude.data());
    FormatLocCoordinate(ReadNetwork32(data + 8), L"EW", asciiOnly, longitude.data());
    // Integer division truncates toward zero, as the metres shown must.
    int32_t metres =
        static_cast<int32_t>((int64_t(ReadNetwork32(data + 12)) - LocAltitudeBase) / 100);
    return HighlightPrintf(L"LOC     LOCATION    %s  %s  %dm\r\n", latitude.data(),
                           longitude.data(), metres);
}

} // namespace

int FormatRecord(DNS_RECORD* record, uint32_t width, bool asciiOnly) {
    if (record == nullptr) return OutputNoInput;
    switch (record->wType) {
    case DNS_TYPE_A: {
        std::array<wchar_t, AddressTextSize> text{};
        SockInetNtop4(record->Data.A.IpAddress, text.data(), text.size());
        text.back() = L'\0';
        return HighlightPrintf(L"A       ADDRESS     %s\r\n", text.data());
    }
    case DNS_TYPE_AAAA: {
        std::array<wchar_t, AddressTextSize> text{};
        SockInetNtop6(DnsRecordIp6Bytes(record), text.data(), text.size());
        text.back() = L'\0';
        return HighlightPrintf(L"AAAA    ADDRESS     %s\r\n", text.data());
    }
    case DNS_TYPE_NS:
        return HighlightPrintf(L"NS      DNAME       %s\r\n", Text(record->Data.NS.pNameHost));
    case DNS_TYPE_CNAME:
        return HighlightPrintf(L"CNAME   CNAME       %s\r\n", Text(record->Data.CNAME.pNameHost));
    case DNS_TYPE_PTR:
        return HighlightPrintf(L"PTR     PTRDNAME    %s\r\n", Text(record->Data.PTR.pNameHost));
    case DNS_TYPE_SOA:
        return FormatSoa(record->Data.SOA);
    case DNS_TYPE_MX:
        return FormatMx(record->Data.MX);
    case DNS_TYPE_TEXT:
        return FormatTxt(record, width, asciiOnly);
    case DNS_TYPE_LOC:
        return FormatLoc(DnsRecordLocBytes(record), asciiOnly);
    default:
        return HighlightPrintf(L"OTHER   [%3u]       \r\n", uint32_t(record->wType));
    }
}

int FormatLocCoordinate(uint32_t value, const wchar_t* letters, bool asciiOnly, wchar_t* out) {
    if (out == nullptr || letters == nullptr || letters[0] == L'\0' || letters[1] == L'\0')
        return -1;
    uint32_t magnitude;
    wchar_t letter;
    if (value >= LocEquator) {
        magnitude = value - LocEquator;
        letter = letters[0];
    } else {
        magnitude = LocEquator - value;
        letter = letters[1];
    }
    // Thousandths of a second of arc.
    uint32_t seconds = magnitude / 1000, thousandths = magnitude % 1000;
    uint32_t degrees = seconds / 3600, minutes = (seconds % 3600) / 60;
    seconds = (seconds % 3600) % 60;
    const wchar_t* format =
        asciiOnly ? L"%u\u00B0 %u' %u.%03u\" %c" : L"%u\u00B0 %u\u2032 %u.%03u\u2033 %c";
    FormatWide(out, LocTextSize, format, degrees, minutes, seconds, thousandths, letter);
    return 0;
}

int TruncateToWidth(wchar_t* text, uint32_t width, bool asciiOnly) {
    if (text == nullptr) return -1;
    // The value starts in column 21. A width of 21 or less still keeps one unit, so the cut
    // text is never empty and never longer than the original. Lengths count UTF-16 units on
    // both widths of wchar_t, and a cut never separates the two halves of a surrogate pair.
    size_t keep = width > 21 ? width - 20 : 1;
    size_t units = 0, length = 0;
    for (; text[length] != L'\0'; ++length)
        units += Utf16Units(text[length]);
    if (units <= keep) return 0;

    // The three-dot marker, cut to the kept length when fewer than three units remain; or "…".
    const size_t marker = asciiOnly ? (keep < 3 ? keep : 3) : 1;
    size_t cut = 0;
    for (size_t used = 0; used + Utf16Units(text[cut]) <= keep - marker; ++cut)
        used += Utf16Units(text[cut]);
    if (cut > 0 && IsHighSurrogate(text[cut - 1])) --cut;
    // The text is changed in place: a UTF-32 text of pairs-to-be may hold fewer characters
    // than the kept part and the marker; then fewer are kept.
    while (cut > 0 && cut + marker > length)
        --cut;
    for (size_t i = 0; i < marker; ++i)
        text[cut++] = asciiOnly ? L'.' : L'\u2026';
    text[cut] = L'\0';
    return 1;
}
