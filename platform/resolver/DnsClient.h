// DNS client service: one query of one name and type, giving a status and a list of records.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#include <winsock2.h>
// windns.h needs the types of windows.h first.
#include <windns.h>

// The system's reply lists records of every section. The module reads records by type alone,
// so an additional-section address of another host would look like the name's own: its
// queries go through the platform layer, which hands on the answer section only (the rest is
// freed at once). The list, its records and their text are the system's, freed with DnsFree.
DNS_STATUS DnsQueryAnswers(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                           DNS_RECORD** results, void* reserved);
#define DnsQuery_W DnsQueryAnswers

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

// Queries name for type. servers: IPv4 servers to ask, or null for the configured ones.
// On status 0, *results receives the records in the server's order (possibly null), owned by
// the caller until DnsFree. Names carry no trailing dot.
DNS_STATUS DnsQuery_W(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                      DNS_RECORD** results, void* reserved);
void DnsFree(void* data, DNS_FREE_TYPE freeType);
#endif

// Record types the module asks for, named as the system's header names them.
#if !defined(_WIN32)
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

// One query of a batch or a session: name and type in; status and results (as DnsQuery_W
// gives them) out.
struct DnsQueryRequest {
    const wchar_t* name;
    uint16_t type;
    DNS_STATUS status;
    DNS_RECORD* results;
};

// Sends all count queries at once and returns when every one has its status, so that a caller
// waits for the slowest query rather than for the sum of them. Options and servers as for
// DnsQuery_W; each request's results belong to the caller until DnsFree.
void DnsQueryBatch(DnsQueryRequest* requests, size_t count, uint32_t options, IP4_ARRAY* servers);

// A session keeps queries in flight while its caller does other work, and hands each back as
// it completes, in any order. Options and servers are fixed when the session opens; the
// servers are copied. Used from one thread; no call blocks longer than its time-out.
struct DnsSession;

// Null when the session cannot be set up (out of memory, no transport).
DnsSession* DnsSessionOpen(uint32_t options, const IP4_ARRAY* servers);

// Starts one query; the name is copied, the request must stay valid until it completes or the
// session closes. Returns false when the query could not be started: the request is then
// complete already, with its status set, and is not handed back by DnsSessionWait.
bool DnsSessionSubmit(DnsSession* session, DnsQueryRequest* request);

// Waits at most timeoutMs milliseconds for queries to complete and stores up to capacity of the
// completed requests in done (status and results set; the results belong to the caller).
// Returns how many were stored: 0 when none completed in time or none is in flight.
size_t DnsSessionWait(DnsSession* session, uint32_t timeoutMs, DnsQueryRequest** done,
                      size_t capacity);

// The number of submitted queries not yet handed back.
size_t DnsSessionPending(const DnsSession* session);

// Gives up every query still in flight (those requests never complete and are not touched
// again; their results are freed by the client) and frees the session.
void DnsSessionClose(DnsSession* session);

// Called when the module unloads: when this returns, no thread of the DNS client runs module
// code or touches module memory any more.
void DnsClientShutdown();
