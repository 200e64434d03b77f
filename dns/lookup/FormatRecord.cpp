// The record table's lines for one resource record: type name, field name, value.
#include "dns/lookup/FormatRecord.h"

#include <array>
#include <cwchar>
#include <initializer_list>

#include "dns/lookup/LookupFlags.h"
#include "dns/output/Highlight.h"
#include "dns/output/ServerText.h"
#include "platform/text/Sockets.h"
#include "platform/text/Text.h"

namespace {

constexpr size_t AddressTextSize = 1024;
constexpr uint32_t LocEquator = 0x80000000u;  // 2^31: the equator or prime meridian
constexpr int64_t LocAltitudeBase = 10000000; // centimetres below the reference spheroid

// A line whose value is a name from the server, escaped for display first: the table shows
// no control character and no colour markup from the server. Missing data prints as empty.
int PrintNameLine(const wchar_t* format, const wchar_t* name) {
    ShownServerText shown(name);
    if (!shown.ok()) return OutputNoMemory;
    return HighlightPrintf(format, shown.text());
}

uint32_t ReadNetwork32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
           uint32_t(bytes[3]);
}

int FormatSoa(const DNS_SOA_DATAW& soa) {
    int result = PrintNameLine(L"SOA     MNAME       %s\r\n", soa.pNamePrimaryServer);
    if (result == OutputBreak) return result;
    result = PrintNameLine(L"        RNAME       %s\r\n", soa.pNameAdministrator);
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
    return PrintNameLine(L"        EXCHANGE    %s\r\n", mx.pNameExchange);
}

int FormatTxt(const DNS_RECORD* record, uint32_t width, bool asciiOnly) {
    const uint32_t count = DnsRecordTxtCount(record);
    if (count == 0) return OutputDone;
    if (count == 1) {
        // Escaped first: the width counts what the line shows.
        ShownServerText shown(DnsRecordTxtString(record, 0));
        if (!shown.ok()) return OutputNoMemory;
        if (width != 0) TruncateToWidth(shown.text(), width, asciiOnly);
        return HighlightPrintf(L"TXT     TXT         %s\r\n", shown.text());
    }
    int result = OutputDone;
    for (uint32_t i = 0; i < count; ++i) {
        ShownServerText shown(DnsRecordTxtString(record, i));
        result = shown.ok() ? HighlightPrintf(L"TXT     TXT[%2u]     %s\r\n", i, shown.text())
                            : OutputNoMemory;
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
        return PrintNameLine(L"NS      DNAME       %s\r\n", record->Data.NS.pNameHost);
    case DNS_TYPE_CNAME:
        return PrintNameLine(L"CNAME   CNAME       %s\r\n", record->Data.CNAME.pNameHost);
    case DNS_TYPE_PTR:
        return PrintNameLine(L"PTR     PTRDNAME    %s\r\n", record->Data.PTR.pNameHost);
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

namespace {

// The piece of shown text at text[0]: a character (a surrogate pair counts as one) or an
// escape written for display ("\DDD", or a backslash and the character it escapes), with
// its length in characters and in UTF-16 code units. A cut never falls inside a piece.
struct Piece {
    size_t characters;
    size_t units;
};

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

Piece PieceAt(const wchar_t* text, size_t left) {
    const wchar_t c = text[0];
    if (c >= 0xD800 && c <= 0xDBFF && left >= 2 && text[1] >= 0xDC00 && text[1] <= 0xDFFF)
        return {2, 2};
    if ((static_cast<uint32_t>(c) >> 16) != 0) return {1, 2}; // one wide character, two units
    if (c == L'\\' && left >= 4 && IsDigit(text[1]) && IsDigit(text[2]) && IsDigit(text[3]))
        return {4, 4};
    if (c == L'\\' && left >= 2) return {2, 2};
    return {1, 1};
}

} // namespace

int TruncateToWidth(wchar_t* text, uint32_t width, bool asciiOnly) {
    if (text == nullptr) return -1;
    // The value starts in column 21. A width of 21 or less still keeps one unit, so the cut
    // text is never empty and never longer than the original.
    const size_t keep = width > 21 ? width - 20 : 1;
    const size_t length = std::wcslen(text);
    size_t units = 0;
    for (size_t i = 0; i < length;) {
        Piece piece = PieceAt(text + i, length - i);
        units += piece.units;
        i += piece.characters;
    }
    if (units <= keep) return 0;

    // The three-dot marker is cut to the kept length when fewer than three units remain.
    const size_t marker = asciiOnly ? (keep < 3 ? keep : 3) : 1;
    const size_t room = keep - marker;
    // Whole pieces up to the room left beside the marker; a piece that would not fit whole
    // (the two halves of a surrogate pair, an escape) goes, so the text may keep one unit
    // less. The marker also has to fit where the cut part was.
    size_t cut = 0;
    for (size_t used = 0; cut < length;) {
        Piece piece = PieceAt(text + cut, length - cut);
        if (used + piece.units > room || cut + piece.characters + marker > length) break;
        used += piece.units;
        cut += piece.characters;
    }
    for (size_t i = 0; i < marker; ++i)
        text[cut + i] = asciiOnly ? L'.' : L'\u2026';
    text[cut + marker] = L'\0';
    return 1;
}
