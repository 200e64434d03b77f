// DNS wire format: query building, answer parsing and the DNS_RECORD lists handed to callers.
// Every read is checked against the message end and the record's RDLENGTH; a malformed answer
// (any part of it, a single record included) gives DNS_ERROR_BAD_PACKET, never a partial list.
// Only records about the question reach the caller: owned by its name or its CNAME chain.
#include "platform/resolver/DnsMessagePosix.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/text/AsciiCase.h"
#include "platform/text/Text.h"

namespace {

constexpr size_t HeaderSize = 12;
constexpr size_t MaxNameOctets = 255;
constexpr size_t MaxLabelOctets = 63;
// More pointers than a 255-octet name can have labels means a loop.
constexpr int MaxPointers = 128;

constexpr uint16_t TypeA = 1, TypeNs = 2, TypeCname = 5, TypeSoa = 6, TypePtr = 12, TypeMx = 15,
                   TypeTxt = 16, TypeAaaa = 28, TypeLoc = 29, TypeOpt = 41;
constexpr uint16_t ClassIn = 1;

// Section "answer" with the Unicode character set, as the record flags word encodes them.
constexpr uint32_t AnswerUnicodeFlags = 0x01 | (1 << 3);

uint16_t Read16(std::span<const uint8_t> m, size_t at) {
    return uint16_t(m[at] << 8 | m[at + 1]);
}
uint32_t Read32(std::span<const uint8_t> m, size_t at) {
    return uint32_t(m[at]) << 24 | uint32_t(m[at + 1]) << 16 | uint32_t(m[at + 2]) << 8 | m[at + 3];
}
void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

// Reads the possibly compressed name at pos into its uncompressed wire form (root label
// included). end receives the offset just past the name's own encoding.
bool ReadName(std::span<const uint8_t> m, size_t pos, std::vector<uint8_t>& labels, size_t& end) {
    labels.clear();
    bool jumped = false;
    int pointers = 0;
    for (;;) {
        if (pos >= m.size()) return false;
        uint8_t length = m[pos];
        if ((length & 0xC0) == 0xC0) {
            if (pos + 1 >= m.size() || ++pointers > MaxPointers) return false;
            if (!jumped) end = pos + 2;
            jumped = true;
            pos = size_t(length & 0x3F) << 8 | m[pos + 1];
            continue;
        }
        if (length > MaxLabelOctets) return false; // 0x40 and 0x80: no extended label types
        if (pos + 1 + length > m.size()) return false;
        // Room for this label and, if it is not the root, at least the root after it.
        if (labels.size() + 1 + length + (length != 0) > MaxNameOctets) return false;
        labels.insert(labels.end(), m.begin() + pos, m.begin() + pos + 1 + length);
        pos += 1 + length;
        if (length == 0) {
            if (!jumped) end = pos;
            return true;
        }
    }
}

// Wire names, compared as names are: case-blind for A to Z.
bool SameName(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    auto bytes = [](std::span<const uint8_t> wire) {
        return std::string_view(reinterpret_cast<const char*>(wire.data()), wire.size());
    };
    return ::SameName(bytes(a), bytes(b));
}

void AppendDecimalEscape(std::wstring& out, uint8_t byte) {
    out += L'\\';
    out += wchar_t(L'0' + byte / 100);
    out += wchar_t(L'0' + byte / 10 % 10);
    out += wchar_t(L'0' + byte % 10);
}

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out += wchar_t(0xD800 + (cp >> 10));
            out += wchar_t(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += wchar_t(cp);
}

// Server bytes as text: valid UTF-8 as its characters (control characters too: the module's
// display escaping takes care of those), every byte that is not part of valid UTF-8 as \DDD
// and so is NUL, which cannot stand in a terminated string,
// a backslash as "\\" and, inside a name's label, a dot as "\.", so that the text reads back
// into the same bytes and no byte turns into an escape twice.
void AppendText(std::wstring& out, std::span<const uint8_t> bytes, bool inLabel) {
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t c = bytes[i];
        if (c == '\\' || (inLabel && c == '.')) {
            out += L'\\';
            out += wchar_t(c);
            ++i;
            continue;
        }
        char32_t cp = c;
        size_t length = c < 0x80 ? 1 : DecodeUtf8Sequence(bytes.data() + i, bytes.size() - i, &cp);
        if (length == 0 || c == 0) { // NUL would end the terminated string
            AppendDecimalEscape(out, c);
            ++i;
        } else {
            AppendCodePoint(out, cp);
            i += length;
        }
    }
}

// A record as parsed, before it is laid out in one caller-owned block.
struct ParsedRecord {
    std::vector<uint8_t> ownerWire; // uncompressed, for the owner check
    std::vector<uint8_t> aliasWire; // a CNAME's target, uncompressed
    std::wstring owner;
    uint16_t type = 0;
    uint32_t ttl = 0;
    uint16_t dataLength = 0;
    decltype(DNS_RECORD::Data) data{};
    std::vector<std::wstring> texts; // host names, MX exchange, SOA names or TXT strings
};

// Lays a parsed record out in one malloc block: the record, the TXT pointer array, the texts.
DNS_RECORD* AllocateRecord(const ParsedRecord& parsed) {
    size_t pointers = parsed.type == TypeTxt ? parsed.texts.size() : 0;
    size_t characters = parsed.owner.size() + 1;
    for (const std::wstring& text : parsed.texts)
        characters += text.size() + 1;
    size_t size = sizeof(DNS_RECORD) + pointers * sizeof(wchar_t*) + characters * sizeof(wchar_t);
    auto* record = static_cast<DNS_RECORD*>(std::calloc(1, size));
    if (record == nullptr) return nullptr;
    record->wType = parsed.type;
    record->dwTtl = parsed.ttl;
    record->wDataLength = parsed.dataLength;
    record->Flags = AnswerUnicodeFlags;
    record->Data = parsed.data;
    auto* pointerArray = reinterpret_cast<wchar_t**>(record + 1);
    wchar_t* next = reinterpret_cast<wchar_t*>(pointerArray + pointers);
    auto place = [&next](const std::wstring& text) {
        wchar_t* placed = next;
        std::memcpy(placed, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        next += text.size() + 1;
        return placed;
    };
    record->pName = place(parsed.owner);
    std::vector<wchar_t*> placed;
    for (const std::wstring& text : parsed.texts)
        placed.push_back(place(text));
    switch (parsed.type) {
    case TypeNs:
    case TypeCname:
    case TypePtr:
        record->Data.PTR.pNameHost = placed[0];
        break;
    case TypeMx:
        record->Data.MX.pNameExchange = placed[0];
        break;
    case TypeSoa:
        record->Data.SOA.pNamePrimaryServer = placed[0];
        record->Data.SOA.pNameAdministrator = placed[1];
        break;
    case TypeTxt:
        record->Data.TXT.dwStringCount = uint32_t(placed.size());
        record->Data.TXT.pStringArray = pointers != 0 ? pointerArray : nullptr;
        for (size_t i = 0; i < pointers; ++i)
            pointerArray[i] = placed[i];
        break;
    default:
        break;
    }
    return record;
}

// The list under construction; freed unless released to the caller.
struct RecordList {
    DNS_RECORD* head = nullptr;
    DNS_RECORD** tail = &head;
    RecordList() = default;
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;
    ~RecordList() { DnsFree(head, DnsFreeRecordList); }
    void Append(DNS_RECORD* record) {
        *tail = record;
        tail = &record->pNext;
    }
    DNS_RECORD* Release() {
        DNS_RECORD* list = head;
        head = nullptr;
        return list;
    }
};

// A name in RDATA: read from the whole message (compression), its encoding within [pos, limit).
bool ReadDataName(std::span<const uint8_t> m, size_t pos, size_t limit, std::wstring& text,
                  size_t& end, std::vector<uint8_t>* wire = nullptr) {
    std::vector<uint8_t> labels;
    if (pos >= limit || !ReadName(m, pos, labels, end) || end > limit) return false;
    text = DnsNameText(labels);
    if (wire != nullptr) *wire = std::move(labels);
    return true;
}

// Parses the RDATA of [start, start + length) into the record; false if malformed.
bool ParseData(std::span<const uint8_t> m, size_t start, size_t length, ParsedRecord& record) {
    size_t limit = start + length, end = 0;
    std::wstring text, second;
    switch (record.type) {
    case TypeA:
        if (length != 4) return false;
        std::memcpy(&record.data.A.IpAddress, &m[start], 4); // stays in network order
        record.dataLength = sizeof(DNS_A_DATA);
        return true;
    case TypeAaaa:
        if (length != 16) return false;
        std::memcpy(record.data.AAAA.Ip6Address, &m[start], 16);
        record.dataLength = sizeof(DNS_AAAA_DATA);
        return true;
    case TypeNs:
    case TypeCname:
    case TypePtr:
        if (!ReadDataName(m, start, limit, text, end,
                          record.type == TypeCname ? &record.aliasWire : nullptr) ||
            end != limit)
            return false;
        record.texts.push_back(std::move(text));
        record.dataLength = sizeof(DNS_PTR_DATAW);
        return true;
    case TypeMx:
        if (length < 3 || !ReadDataName(m, start + 2, limit, text, end) || end != limit)
            return false;
        record.data.MX.wPreference = Read16(m, start);
        record.texts.push_back(std::move(text));
        record.dataLength = sizeof(DNS_MX_DATAW);
        return true;
    case TypeSoa: {
        if (!ReadDataName(m, start, limit, text, end)) return false;
        if (!ReadDataName(m, end, limit, second, end) || limit - end != 20) return false;
        DNS_SOA_DATAW& soa = record.data.SOA;
        soa.dwSerialNo = Read32(m, end);
        soa.dwRefresh = Read32(m, end + 4);
        soa.dwRetry = Read32(m, end + 8);
        soa.dwExpire = Read32(m, end + 12);
        soa.dwDefaultTtl = Read32(m, end + 16);
        record.texts.push_back(std::move(text));
        record.texts.push_back(std::move(second));
        record.dataLength = sizeof(DNS_SOA_DATAW);
        return true;
    }
    case TypeTxt:
        for (size_t pos = start; pos < limit;) {
            size_t count = m[pos];
            if (pos + 1 + count > limit) return false;
            record.texts.push_back(DnsTxtText(m.subspan(pos + 1, count)));
            pos += 1 + count;
        }
        record.dataLength = sizeof(DNS_TXT_DATAW);
        return true;
    case TypeLoc:
        if (length != 16 || m[start] != 0) return false; // only version 0 is defined
        std::memcpy(record.data.LOC.Bytes, &m[start], 16);
        record.dataLength = sizeof(DNS_LOC_DATA);
        return true;
    default:
        return true; // kept by type only; callers skip types they do not know
    }
}

// Which records speak about the question: those owned by the question name or by a name on
// the CNAME chain that starts at it, in whatever order the chain's links come. Records of any
// other owner are what a careless or hostile server adds, and are dropped.
std::vector<bool> OwnedByQuestion(const std::vector<ParsedRecord>& records,
                                  std::span<const uint8_t> question) {
    std::vector<std::vector<uint8_t>> chain{std::vector<uint8_t>(question.begin(), question.end())};
    auto onChain = [&chain](std::span<const uint8_t> name) {
        for (const std::vector<uint8_t>& link : chain)
            if (SameName(link, name)) return true;
        return false;
    };
    std::vector<bool> followed(records.size(), false);
    // Each pass follows at least one more link or ends; a loop ends because a link is
    // followed once.
    for (bool grew = true; grew;) {
        grew = false;
        for (size_t i = 0; i < records.size(); ++i) {
            const ParsedRecord& record = records[i];
            if (followed[i] || record.type != TypeCname || !onChain(record.ownerWire)) continue;
            followed[i] = true;
            if (!onChain(record.aliasWire)) chain.push_back(record.aliasWire);
            grew = true;
        }
    }
    std::vector<bool> owned(records.size());
    for (size_t i = 0; i < records.size(); ++i)
        owned[i] = onChain(records[i].ownerWire);
    return owned;
}

DNS_STATUS ParseAnswer(std::span<const uint8_t> m, std::span<const uint8_t> wireName, uint16_t type,
                       DNS_RECORD** records) {
    if (m.size() < HeaderSize) return DNS_ERROR_BAD_PACKET;
    uint16_t flags = Read16(m, 2);
    if ((flags & 0x8000) == 0 || Read16(m, 4) != 1) return DNS_ERROR_BAD_PACKET;
    unsigned answers = Read16(m, 6);

    // The question must be ours (c-ares matches it too; this keeps the parser self-contained).
    std::vector<uint8_t> labels;
    size_t pos = 0;
    if (!ReadName(m, HeaderSize, labels, pos) || pos + 4 > m.size()) return DNS_ERROR_BAD_PACKET;
    if (!SameName(labels, wireName) || Read16(m, pos) != type || Read16(m, pos + 2) != ClassIn)
        return DNS_ERROR_BAD_PACKET;
    pos += 4;

    if (unsigned rcode = flags & 0x0F; rcode != 0) return DnsStatusFromRcode(rcode);
    if (answers == 0) return DNS_INFO_NO_RECORDS;

    std::vector<ParsedRecord> parsed(answers);
    for (ParsedRecord& record : parsed) {
        if (!ReadName(m, pos, record.ownerWire, pos) || pos + 10 > m.size())
            return DNS_ERROR_BAD_PACKET;
        record.owner = DnsNameText(record.ownerWire);
        record.type = Read16(m, pos);
        record.ttl = Read32(m, pos + 4);
        size_t length = Read16(m, pos + 8);
        pos += 10;
        if (pos + length > m.size() || record.type == TypeOpt) return DNS_ERROR_BAD_PACKET;
        if (!ParseData(m, pos, length, record)) return DNS_ERROR_BAD_PACKET;
        pos += length;
    }

    RecordList list;
    std::vector<bool> owned = OwnedByQuestion(parsed, wireName);
    for (size_t i = 0; i < parsed.size(); ++i) {
        if (!owned[i]) continue;
        DNS_RECORD* allocated = AllocateRecord(parsed[i]);
        if (allocated == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
        list.Append(allocated);
    }
    if (list.head == nullptr) return DNS_INFO_NO_RECORDS; // nothing about the question
    *records = list.Release();
    return 0;
}

} // namespace

DNS_STATUS DnsEncodeName(const wchar_t* name, std::vector<uint8_t>& wire) {
    wire.clear();
    if (name == nullptr || *name == 0) return DNS_ERROR_INVALID_NAME;
    std::string text = WideToUtf8(name);
    if (text == ".") {
        wire.push_back(0);
        return 0;
    }
    std::vector<uint8_t> label;
    auto endLabel = [&]() {
        if (label.empty()) return false;
        wire.push_back(uint8_t(label.size()));
        wire.insert(wire.end(), label.begin(), label.end());
        label.clear();
        return true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        uint8_t c = uint8_t(text[i]);
        if (c == '.') {
            if (!endLabel()) return DNS_ERROR_INVALID_NAME;
            continue;
        }
        if (c == '\\') {
            if (++i == text.size()) return DNS_ERROR_INVALID_NAME;
            c = uint8_t(text[i]);
            if (c >= '0' && c <= '9') {
                if (i + 2 >= text.size()) return DNS_ERROR_INVALID_NAME;
                unsigned value = 0;
                for (size_t k = i; k < i + 3; ++k) {
                    if (text[k] < '0' || text[k] > '9') return DNS_ERROR_INVALID_NAME;
                    value = value * 10 + unsigned(text[k] - '0');
                }
                if (value > 255) return DNS_ERROR_INVALID_NAME;
                c = uint8_t(value);
                i += 2;
            }
        }
        label.push_back(c);
        if (label.size() > MaxLabelOctets) return DNS_ERROR_INVALID_NAME;
    }
    if (!label.empty()) endLabel(); // a final dot has already closed the last label
    wire.push_back(0);
    if (wire.size() > MaxNameOctets) return DNS_ERROR_INVALID_NAME;
    return 0;
}

std::vector<uint8_t> DnsBuildQuery(std::span<const uint8_t> wireName, uint16_t type, uint16_t id) {
    std::vector<uint8_t> query;
    query.reserve(HeaderSize + wireName.size() + 4 + 11);
    Put16(query, id);
    Put16(query, 0x0100); // recursion desired
    Put16(query, 1);      // one question
    Put16(query, 0);
    Put16(query, 0);
    Put16(query, 1); // the OPT record
    query.insert(query.end(), wireName.begin(), wireName.end());
    Put16(query, type);
    Put16(query, ClassIn);
    // OPT: root owner, type 41, class = payload size, TTL 0 (no extended flags), no options.
    query.push_back(0);
    Put16(query, TypeOpt);
    Put16(query, DnsEdnsPayloadSize);
    Put16(query, 0);
    Put16(query, 0);
    Put16(query, 0);
    return query;
}

DNS_STATUS DnsParseAnswer(std::span<const uint8_t> message, std::span<const uint8_t> wireName,
                          uint16_t type, DNS_RECORD** records) {
    *records = nullptr;
    try {
        return ParseAnswer(message, wireName, type, records);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DNS_STATUS DnsStatusFromRcode(unsigned rcode) {
    switch (rcode) {
    case 1:
        return DNS_ERROR_RCODE_FORMAT_ERROR;
    case 2:
        return DNS_ERROR_RCODE_SERVER_FAILURE;
    case 3:
        return DNS_ERROR_RCODE_NAME_ERROR;
    case 4:
        return DNS_ERROR_RCODE_NOT_IMPLEMENTED;
    case 5:
        return DNS_ERROR_RCODE_REFUSED;
    default:
        return DNS_STATUS(9000 + rcode);
    }
}

std::wstring DnsNameText(std::span<const uint8_t> labels) {
    if (labels.empty() || labels[0] == 0) return L".";
    std::wstring text;
    for (size_t pos = 0; pos < labels.size() && labels[pos] != 0;) {
        if (pos != 0) text += L'.';
        const size_t end = std::min(pos + 1 + labels[pos], labels.size());
        AppendText(text, labels.subspan(pos + 1, end - pos - 1), true);
        pos = end;
    }
    return text;
}

std::wstring DnsTxtText(std::span<const uint8_t> bytes) {
    std::wstring text;
    AppendText(text, bytes, false);
    return text;
}

void DnsFree(void* data, DNS_FREE_TYPE freeType) {
    if (freeType != DnsFreeRecordList) {
        std::free(data);
        return;
    }
    for (auto* record = static_cast<DNS_RECORD*>(data); record != nullptr;) {
        DNS_RECORD* next = record->pNext;
        std::free(record);
        record = next;
    }
}
