// Queries of a name that failed: kept while the name is looked up, reported on standard error
// after its block, so that a failure never passes for a name without records.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/resolver/DnsClient.h"

// A status that says nothing about the name's records: the server failed, refused, could not
// be reached or sent nothing usable. A name that does not exist, or has no records of the
// type, is an answer, not a failure.
bool IsQueryFailure(DNS_STATUS status);

struct QueryFailure {
    uint16_t type;
    DNS_STATUS status;
};

// The failed queries of one name, each type and status once, in the order they were asked.
struct NameFailures {
    std::array<QueryFailure, 16> items{};
    size_t count = 0;
};

// Notes the outcome of one query the lookup used; only a failure is kept.
void NoteQueryOutcome(NameFailures* failures, uint16_t type, DNS_STATUS status);

// One line per status on standard error, behind the usual prefix, naming the types that failed
// with it: Error looking up MX, TXT for "NAME": TEXT.
void ReportNameFailures(const wchar_t* name, const NameFailures& failures);
