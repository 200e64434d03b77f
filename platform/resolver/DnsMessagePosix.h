// DNS wire format for the POSIX DNS client: the query we send and the answer we parse into a
// DNS_RECORD list. Internal to the platform layer; nothing here touches the network.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/resolver/DnsClient.h"

// UDP payload size we advertise with EDNS0: fits an unfragmented IPv6 packet.
constexpr uint16_t DnsEdnsPayloadSize = 1232;

// Turns a presentation-form name (labels separated by dots, an optional final dot, "\." and
// "\\" and "\DDD" escapes, other characters as UTF-8) into wire form. Returns 0, or
// DNS_ERROR_INVALID_NAME for an empty name, an empty label, a label over 63 octets, a name over
// 255 octets or a broken escape. "." is the root name.
DNS_STATUS DnsEncodeName(const wchar_t* name, std::vector<uint8_t>& wire);

// Builds a recursive query of class IN for the wire name and type with the given ID, with an
// EDNS0 OPT record of DnsEdnsPayloadSize last in the message (c-ares strips it by size when a
// server rejects EDNS).
std::vector<uint8_t> DnsBuildQuery(std::span<const uint8_t> wireName, uint16_t type, uint16_t id);

// Parses an answer to the question (wireName, type). On status 0 *records receives the answer
// records owned by the question name or a name on its CNAME chain (compared case-blind), in
// server order; the others are dropped. No such record gives DNS_INFO_NO_RECORDS instead. A
// non-zero rcode gives its status and no list; any malformed part, a single record included,
// gives DNS_ERROR_BAD_PACKET and no list.
DNS_STATUS DnsParseAnswer(std::span<const uint8_t> message, std::span<const uint8_t> wireName,
                          uint16_t type, DNS_RECORD** records);

// Status for a response code: FORMERR 9001 ... REFUSED 9005, any other 9000 + rcode.
DNS_STATUS DnsStatusFromRcode(unsigned rcode);

// Text of a wire name's labels ("." for the root), as the DNS client hands it over: valid
// UTF-8 decoded to its characters (control characters included, raw), every byte that is not
// part of valid UTF-8 as \DDD (NUL too, which cannot stand in a terminated string), a backslash as
// "\\" and a dot inside a label as "\.". The module's display escaping then writes the control
// characters as \DDD; DnsEncodeName reads the text back into the same bytes.
std::wstring DnsNameText(std::span<const uint8_t> labels);

// Text of a TXT character string, by the same rules without the dot: valid UTF-8 decoded
// (control characters raw), bytes that are not valid UTF-8 as \DDD, a backslash as "\\".
std::wstring DnsTxtText(std::span<const uint8_t> bytes);
