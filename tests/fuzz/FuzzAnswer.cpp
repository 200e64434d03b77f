// Fuzzes the DNS answer parser with raw messages. Each input is parsed twice: against the
// question it carries itself (so that the answer section is reached) and against a fixed one.
// Every record of a parsed list is walked and every field and string read, so that the
// sanitizers see any pointer or length the parser got wrong; the list is then freed with
// DnsFree. The name encoder and the text converters get the same bytes, and every text goes
// through the module's display escaping, which must leave no control character.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <span>
#include <string>
#include <vector>

#include "dns/output/ServerText.h"
#include "platform/resolver/DnsClient.h"
#include "platform/resolver/DnsMessagePosix.h"
#include "platform/text/Text.h"

namespace {

constexpr size_t HeaderSize = 12;
constexpr uint16_t TypeA = 1, TypeNs = 2, TypeCname = 5, TypeSoa = 6, TypePtr = 12, TypeMx = 15,
                   TypeTxt = 16, TypeAaaa = 28, TypeLoc = 29;
// example.test in wire form.
constexpr uint8_t FixedName[] = {7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 4, 't', 'e', 's', 't', 0};

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_answer: broken invariant: %s\n", what);
    std::abort();
}

bool IsControl(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

bool IsEscapeOf(const wchar_t* at, unsigned byte) {
    return at[0] == '\\' && at[1] == wchar_t('0' + byte / 100) &&
           at[2] == wchar_t('0' + byte / 10 % 10) && at[3] == wchar_t('0' + byte % 10);
}

// The client's text: Unicode scalars only, and every backslash starts "\\", "\." (names) or
// \DDD. Shown through the module's escaping, each control character has become the \DDD of
// its code (of each UTF-8 byte for C1) and every other character, a backslash too, is as it
// was: nothing is escaped twice.
void CheckClientText(const wchar_t* text, bool name) {
    for (const wchar_t* p = text; *p != 0; ++p) {
        auto c = static_cast<uint32_t>(*p);
        Check(c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF), "code points valid");
        if (c != '\\') continue;
        bool digits =
            p[1] >= '0' && p[1] <= '2' && p[2] >= '0' && p[2] <= '9' && p[3] >= '0' && p[3] <= '9';
        Check(p[1] == '\\' || (name && p[1] == '.') || digits, "backslash starts an escape");
        p += digits ? 3 : 1;
    }
    std::vector<wchar_t> shown(EscapedServerTextSize(text));
    Check(EscapeServerText(text, shown) + 1 == shown.size(), "escaped size as announced");
    const wchar_t* out = shown.data();
    for (const wchar_t* p = text; *p != 0; ++p) {
        auto c = static_cast<uint32_t>(*p);
        if (IsControl(c) && c >= 0x80) {
            Check(IsEscapeOf(out, 0xC0 | (c >> 6)) && IsEscapeOf(out + 4, 0x80 | (c & 0x3F)),
                  "C1 control shown as its UTF-8 bytes");
            out += 8;
        } else if (IsControl(c)) {
            Check(IsEscapeOf(out, c), "control character shown as its code");
            out += 4;
        } else {
            Check(*out++ == *p, "other characters shown unchanged");
        }
    }
    Check(*out == 0, "nothing added");
}

// Keeps the reads of the record data from being optimised away.
volatile uint32_t Sink;

void ReadBytes(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    Sink = Sink + sum;
}

// A name as the client renders it (see CheckClientText), and encoding it again gives a name
// whose text is the same.
void CheckName(const wchar_t* name) {
    Check(name != nullptr, "record name present");
    Check(std::wcslen(name) > 0, "name not empty");
    CheckClientText(name, true);
    std::vector<uint8_t> wire;
    Check(DnsEncodeName(name, wire) == 0, "a parsed name encodes again");
    Check(DnsNameText(wire) == name, "a parsed name's text survives encoding");
}

void CheckText(const wchar_t* text) {
    Check(text != nullptr, "TXT string present");
    CheckClientText(text, false);
}

size_t WalkRecords(const DNS_RECORD* list) {
    size_t count = 0;
    for (const DNS_RECORD* r = list; r != nullptr; r = r->pNext, ++count) {
        CheckName(r->pName);
        Sink = Sink + r->wType + r->wDataLength + r->Flags + r->dwTtl;
        switch (r->wType) {
        case TypeA:
            ReadBytes(reinterpret_cast<const uint8_t*>(&r->Data.A.IpAddress), 4);
            break;
        case TypeAaaa:
            ReadBytes(r->Data.AAAA.Ip6Address, 16);
            break;
        case TypeLoc:
            ReadBytes(r->Data.LOC.Bytes, 16);
            break;
        case TypeNs:
        case TypeCname:
        case TypePtr:
            CheckName(r->Data.PTR.pNameHost);
            break;
        case TypeMx:
            CheckName(r->Data.MX.pNameExchange);
            Sink = Sink + r->Data.MX.wPreference;
            break;
        case TypeSoa:
            CheckName(r->Data.SOA.pNamePrimaryServer);
            CheckName(r->Data.SOA.pNameAdministrator);
            Sink = Sink + r->Data.SOA.dwSerialNo + r->Data.SOA.dwRefresh + r->Data.SOA.dwRetry +
                   r->Data.SOA.dwExpire + r->Data.SOA.dwDefaultTtl;
            break;
        case TypeTxt:
            Check(r->Data.TXT.dwStringCount == 0 || r->Data.TXT.pStringArray != nullptr,
                  "TXT strings present");
            for (uint32_t i = 0; i < r->Data.TXT.dwStringCount; ++i)
                CheckText(r->Data.TXT.pStringArray[i]);
            break;
        default:
            break;
        }
    }
    return count;
}

void Parse(std::span<const uint8_t> message, std::span<const uint8_t> name, uint16_t type) {
    static DNS_RECORD sentinel;
    DNS_RECORD* list = &sentinel; // the parser must overwrite it
    DNS_STATUS status = DnsParseAnswer(message, name, type, &list);
    if (status != 0) {
        Check(list == nullptr, "no list on failure");
        return;
    }
    Check(list != nullptr, "a list on success");
    size_t answers = size_t(message[6]) << 8 | message[7];
    // Records of other owners than the question's name and its alias chain are dropped.
    Check(WalkRecords(list) <= answers, "at most one record per answer");
    DnsFree(list, DnsFreeRecordList);
}

// The question's name as the message spells it, if it is uncompressed and well formed.
bool QuestionOf(std::span<const uint8_t> message, std::vector<uint8_t>& name, uint16_t& type) {
    size_t pos = HeaderSize;
    for (;;) {
        if (pos >= message.size()) return false;
        uint8_t length = message[pos];
        if (length > 63 || pos + 1 + length > message.size()) return false;
        if (name.size() + 1 + length > 255) return false;
        name.insert(name.end(), message.begin() + pos, message.begin() + pos + 1 + length);
        pos += 1 + length;
        if (length == 0) break;
    }
    if (pos + 2 > message.size()) return false;
    type = uint16_t(message[pos] << 8 | message[pos + 1]);
    return true;
}

// The input as a presentation name: whatever encodes must make a query whose echo (the same
// message with the response bit set) parses as a well-formed answer without records.
void EncodeAsName(std::span<const uint8_t> bytes) {
    std::wstring text =
        Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    std::vector<uint8_t> wire;
    if (DnsEncodeName(text.c_str(), wire) != 0) return;
    Check(!wire.empty() && wire.size() <= 255 && wire.back() == 0, "encoded name bounded");
    std::vector<uint8_t> query = DnsBuildQuery(wire, TypeTxt, 0x1234);
    query[2] |= 0x80;
    DNS_RECORD* list = nullptr;
    Check(DnsParseAnswer(query, wire, TypeTxt, &list) == DNS_INFO_NO_RECORDS,
          "the echo of our own query parses");
    Check(list == nullptr, "no records in an echo");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> message(data, size);
    Parse(message, FixedName, TypeA);
    std::vector<uint8_t> name;
    uint16_t type = 0;
    if (QuestionOf(message, name, type)) {
        Parse(message, name, type);
        CheckName(DnsNameText(name).c_str());
    }
    CheckText(DnsTxtText(message).c_str());
    EncodeAsName(message);
    return 0;
}
