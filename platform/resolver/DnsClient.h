// DNS client service: queries of a name and type, one at a time (DnsQuery_W), in a batch, or
// kept in flight by a session, each giving a status and a list of records (the types of
// platform/resolver/DnsTypes.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/resolver/DnsTypes.h"

#if defined(_WIN32)
// The system's reply lists records of every section. The module reads records by type alone,
// so an additional-section address of another host would look like the name's own: its
// queries go through the platform layer, which hands on the answer section only (the rest is
// freed at once). The list, its records and their text are the system's, freed with DnsFree.
DNS_STATUS DnsQueryAnswers(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                           DNS_RECORD** results, void* reserved);
#define DnsQuery_W DnsQueryAnswers
#else
// Queries name for type. servers: IPv4 servers to ask, or null for the configured ones.
// On status 0, *results receives the records in the server's order (possibly null), owned by
// the caller until DnsFree. Names carry no trailing dot.
DNS_STATUS DnsQuery_W(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                      DNS_RECORD** results, void* reserved);
void DnsFree(void* data, DNS_FREE_TYPE freeType);
#endif

// Statuses that say something about the name: its records, none of the type, or no such name.
inline bool DnsStatusAnswersName(DNS_STATUS status) {
    return status == 0 || status == DNS_ERROR_RCODE_NAME_ERROR || status == DNS_INFO_NO_RECORDS;
}

// Statuses that may only mean that the server had too many queries at once (a forwarder
// refuses above its limit of queries forwarded): a server failure or a refusal.
inline bool DnsStatusMayBeOverload(DNS_STATUS status) {
    return status == DNS_ERROR_RCODE_SERVER_FAILURE || status == DNS_ERROR_RCODE_REFUSED;
}

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
