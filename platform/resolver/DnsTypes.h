// The DNS types the module reads, named and laid out as the Windows DNS API has them: the
// system's own on Windows (windns.h), stand-ins of the same names and shape on POSIX. Record
// data whose layout differs between the two is read through the accessors at the end.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#include <winsock2.h>
// windns.h needs the types of windows.h first.
#include <windns.h>

// Record data whose layout differs between the platforms' DNS_RECORDs is read through these.
inline const uint8_t* DnsRecordIp6Bytes(const DNS_RECORD* record) {
    return record->Data.AAAA.Ip6Address.IP6Byte;
}
// The system keeps a LOC record's data as it came on the wire (RFC 1876); its DNS_LOC_DATA
// fields do not match those bytes, so they are read from the start of the data.
inline const uint8_t* DnsRecordLocBytes(const DNS_RECORD* record) {
    return reinterpret_cast<const uint8_t*>(&record->Data);
}
// The strings of a TXT record stand in the record itself, after the count.
inline uint32_t DnsRecordTxtCount(const DNS_RECORD* record) {
    return record->Data.TXT.dwStringCount;
}
inline wchar_t* DnsRecordTxtString(const DNS_RECORD* record, uint32_t index) {
    const PWSTR* strings = record->Data.TXT.pStringArray;
    return index < DnsRecordTxtCount(record) ? strings[index] : nullptr;
}
#else
using DNS_STATUS = int32_t;

// Query options.
constexpr uint32_t DNS_QUERY_STANDARD = 0x00;
constexpr uint32_t DNS_QUERY_BYPASS_CACHE = 0x08;
constexpr uint32_t DNS_QUERY_NO_HOSTS_FILE = 0x40;

// Free types.
enum DNS_FREE_TYPE { DnsFreeFlat = 0, DnsFreeRecordList = 1 };

// IPv4 server array: a count, then that many addresses in network byte order.
struct IP4_ARRAY {
    uint32_t AddrCount;
    uint32_t AddrArray[1];
};

struct DNS_A_DATA {
    uint32_t IpAddress; // network byte order
};
struct DNS_AAAA_DATA {
    uint8_t Ip6Address[16];
};
struct DNS_PTR_DATAW { // NS, CNAME, PTR
    wchar_t* pNameHost;
};
struct DNS_MX_DATAW {
    wchar_t* pNameExchange;
    uint16_t wPreference; // host order
};
struct DNS_SOA_DATAW {
    wchar_t* pNamePrimaryServer;
    wchar_t* pNameAdministrator;
    uint32_t dwSerialNo; // host order, like the four below
    uint32_t dwRefresh;
    uint32_t dwRetry;
    uint32_t dwExpire;
    uint32_t dwDefaultTtl;
};
struct DNS_TXT_DATAW {
    uint32_t dwStringCount;
    wchar_t** pStringArray; // dwStringCount strings
};
struct DNS_LOC_DATA { // the record data as it came: 16 bytes
    uint8_t Bytes[16];
};

struct DNS_RECORD {
    DNS_RECORD* pNext;
    wchar_t* pName;
    uint16_t wType;
    uint16_t wDataLength;
    uint32_t Flags;
    uint32_t dwTtl;
    uint32_t dwReserved;
    union {
        DNS_A_DATA A;
        DNS_AAAA_DATA AAAA;
        DNS_PTR_DATAW PTR, NS, CNAME;
        DNS_MX_DATAW MX;
        DNS_SOA_DATAW SOA;
        DNS_TXT_DATAW TXT;
        DNS_LOC_DATA LOC;
    } Data;
};
using PDNS_RECORD = DNS_RECORD*;

// Status codes (the Windows DNS codes, so that messages read the same everywhere).
constexpr DNS_STATUS DNS_ERROR_RCODE_FORMAT_ERROR = 9001;
constexpr DNS_STATUS DNS_ERROR_RCODE_SERVER_FAILURE = 9002;
constexpr DNS_STATUS DNS_ERROR_RCODE_NAME_ERROR = 9003;
constexpr DNS_STATUS DNS_ERROR_RCODE_NOT_IMPLEMENTED = 9004;
constexpr DNS_STATUS DNS_ERROR_RCODE_REFUSED = 9005;
constexpr DNS_STATUS DNS_INFO_NO_RECORDS = 9501;
constexpr DNS_STATUS DNS_ERROR_BAD_PACKET = 9502;
constexpr DNS_STATUS DNS_ERROR_NO_PACKET = 9503;
constexpr DNS_STATUS DNS_ERROR_INVALID_NAME = 123;
constexpr DNS_STATUS ERROR_TIMEOUT = 1460;
constexpr DNS_STATUS ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DNS_STATUS ERROR_INVALID_PARAMETER = 87;
// The server refused the connection (an ICMP port unreachable) or cannot be reached.
constexpr DNS_STATUS WSAECONNREFUSED = 10061;
constexpr DNS_STATUS WSAEHOSTUNREACH = 10065;

// Record types the module asks for, named as the system's header names them.
constexpr uint16_t DNS_TYPE_A = 1;
constexpr uint16_t DNS_TYPE_NS = 2;
constexpr uint16_t DNS_TYPE_CNAME = 5;
constexpr uint16_t DNS_TYPE_SOA = 6;
constexpr uint16_t DNS_TYPE_PTR = 12;
constexpr uint16_t DNS_TYPE_MX = 15;
constexpr uint16_t DNS_TYPE_TEXT = 16;
constexpr uint16_t DNS_TYPE_AAAA = 28;
constexpr uint16_t DNS_TYPE_LOC = 29;

// Record data whose layout differs between the platforms' DNS_RECORDs is read through these.
// The 16 bytes of an AAAA record's address.
inline const uint8_t* DnsRecordIp6Bytes(const DNS_RECORD* record) {
    return record->Data.AAAA.Ip6Address;
}
// A LOC record's data as it came on the wire (RFC 1876): version, size, two precisions, then
// latitude, longitude and altitude at offsets 4, 8 and 12, network byte order.
inline const uint8_t* DnsRecordLocBytes(const DNS_RECORD* record) {
    return record->Data.LOC.Bytes;
}
// The number of strings of a TXT record, and the string at index (null when it is missing).
inline uint32_t DnsRecordTxtCount(const DNS_RECORD* record) {
    return record->Data.TXT.pStringArray != nullptr ? record->Data.TXT.dwStringCount : 0;
}
inline wchar_t* DnsRecordTxtString(const DNS_RECORD* record, uint32_t index) {
    return index < DnsRecordTxtCount(record) ? record->Data.TXT.pStringArray[index] : nullptr;
}
#endif
