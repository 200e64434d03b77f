// The DNS client against FakeDnsServer on loopback: record parsing, statuses, malformed
// answers (cases of tests/hostile/answers/) and the transport. Every query names 127.0.0.1 and
// the fake server's port, so the machine's configured resolver is never asked.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

#include "AnswerCorpus.h"
#include "DescribeRecords.h"
#include "FakeDnsServer.h"
#include "platform/resolver/DnsClient.h"
#include "platform/resolver/DnsClientTestingPosix.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t ShortTimeoutMs = 150;

class DnsClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DnsClientSetPortForTesting(server.Port());
        DnsClientSetTimeoutForTesting(0);
        servers.AddrCount = 1;
        servers.AddrArray[0] = htonl(INADDR_LOOPBACK);
    }
    void TearDown() override {
        DnsClientSetPortForTesting(0);
        DnsClientSetTimeoutForTesting(0);
    }
    DNS_STATUS Query(const wchar_t* name, uint16_t type, RecordList& list) {
        DNS_RECORD* raw = reinterpret_cast<DNS_RECORD*>(1); // must be overwritten
        DNS_STATUS status = DnsQuery_W(name, type, 0x48, &servers, &raw, nullptr);
        list.reset(raw);
        return status;
    }
    FakeDnsServer server;
    IP4_ARRAY servers{};
};

// ---- Record types -------------------------------------------------------------------------

struct RecordCase {
    const char* label;
    uint16_t type;
    Bytes reply;
    std::vector<std::wstring> expected;
};

Bytes Soa() {
    return Name("ns.r.test") + Name("hostmaster.r.test") +
           Bytes{0x78, 0xA4, 0x5B, 0x45, 0,    0, 0x1C, 0x20, 0,    0,
                 0x0E, 0x10, 0,    0x12, 0x75, 0, 0xFF, 0xFF, 0xFF, 0xFF};
}

Bytes Text(std::string_view s) {
    return Bytes{uint8_t(s.size())} + Bytes(s.begin(), s.end());
}

const Bytes LocData = {0,    0x12, 0x16, 0x13, 0x89, 0x17, 0x2D, 0xD0,
                       0x70, 0xBE, 0x15, 0xF0, 0x00, 0x98, 0x8D, 0x20};

// Four CNAMEs, each target one label (63 octets, the first firstLabel) in front of the
// previous target by a pointer: the last name has firstLabel + 194 octets.
std::vector<Bytes> GrowingNames(std::string_view question, size_t firstLabel) {
    std::vector<Bytes> records;
    size_t previousData = 0;
    for (size_t i = 0, offset = AnswerOffset(question); i < 4; ++i) {
        Bytes label = Labels(std::string(i == 0 ? firstLabel : 63, 'x'));
        Bytes end = i == 0 ? Bytes{0} : Pointer(previousData);
        previousData = offset + 12;
        records.push_back(Rr(QuestionName, CNAME, label + end));
        offset += records.back().size();
    }
    return records;
}

std::vector<RecordCase> RecordCases() {
    std::wstring x63(63, L'x');
    const size_t answers = AnswerOffset("r.test");
    return {
        {"A", A, Response(0, 1, {Rr(QuestionName, A, {192, 0, 2, 1})}), {L"A 192.0.2.1"}},
        {"AAAA",
         AAAA,
         Response(
             0, 1,
             {Rr(QuestionName, AAAA, {0x20, 1, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})}),
         {L"AAAA 2001:db8::1"}},
        {"NS, compressed",
         NS,
         Response(0, 2,
                  {Rr(QuestionName, NS, Labels("ns1") + QuestionName),
                   Rr(QuestionName, NS, Name("ns2.other.test"))}),
         {L"NS ns1.r.test", L"NS ns2.other.test"}},
        {"CNAME chain then A, in server order",
         A,
         Response(0, 3,
                  {Rr(QuestionName, CNAME, Name("a.r.test")),
                   Rr(Pointer(answers + 12), CNAME, Name("b.r.test")),
                   Rr(Name("b.r.test"), A, {192, 0, 2, 7})}),
         {L"CNAME a.r.test", L"CNAME b.r.test", L"A 192.0.2.7"}},
        {"SOA numbers in host order",
         SOA,
         Response(0, 1, {Rr(QuestionName, SOA, Soa())}),
         {L"SOA ns.r.test hostmaster.r.test 2024037189 7200 3600 1209600 4294967295"}},
        {"PTR",
         PTR,
         Response(0, 1, {Rr(QuestionName, PTR, Name("host.example"))}),
         {L"PTR host.example"}},
        {"MX",
         MX,
         Response(0, 2,
                  {Rr(QuestionName, MX, Bytes{0, 10} + Name("mx1.r.test")),
                   Rr(QuestionName, MX, Bytes{0xFF, 0xFF} + Labels("mx2") + QuestionName)}),
         {L"MX 10 mx1.r.test", L"MX 65535 mx2.r.test"}},
        {"TXT, several strings",
         TXT,
         Response(0, 1, {Rr(QuestionName, TXT, Text("v=spf1 -all") + Text("second"))}),
         {L"TXT[v=spf1 -all][second]"}},
        {"TXT, one empty string and none at all",
         TXT,
         Response(0, 2, {Rr(QuestionName, TXT, {0}), Rr(QuestionName, TXT, {})}),
         {L"TXT[]", L"TXT"}},
        {"TXT, 255 bytes",
         TXT,
         Response(0, 1, {Rr(QuestionName, TXT, Text(std::string(255, 'x')))}),
         {L"TXT[" + std::wstring(255, L'x') + L"]"}},
        {"TXT, UTF-8",
         TXT,
         Response(0, 1,
                  {Rr(QuestionName, TXT,
                      Text("gr\xC3\xBC\xC3\x9F"
                           "e \xE2\x98\x83 \xF0\x9F\x98\x80"))}),
         {L"TXT[gr\u00FC\u00DFe \u2603 \U0001F600]"}},
        // The client hands control characters over as text (the module escapes them for
        // display); only bytes that are not text become \DDD, and a backslash "\\".
        {"TXT, controls raw, invalid UTF-8 as \\DDD, backslash doubled",
         TXT,
         Response(0, 1,
                  {Rr(QuestionName, TXT,
                      Text("\x01"
                           "a\x7F\x11\x16\x17\\\xFF\xC2\x85\xC0\xAF\xED\xA0\x80\xC3"))}),
         {L"TXT[\x01"
          L"a\x7F\x11\x16\x17\\\\\\255\x85\\192\\175\\237\\160\\128\\195]"}},
        {"LOC",
         LOC,
         Response(0, 1, {Rr(QuestionName, LOC, LocData)}),
         {L"LOC 0 18 22 19 137 23 45 208 112 190 21 240 0 152 141 32"}},
        {"unknown types kept by number",
         TXT,
         Response(0, 2, {Rr(QuestionName, 46, {1, 2, 3}), Rr(QuestionName, TXT, Text("x"))}),
         {L"TYPE46", L"TXT[x]"}},
        {"only other types: success with the list",
         MX,
         Response(0, 1, {Rr(QuestionName, CNAME, Name("c.test"))}),
         {L"CNAME c.test"}},
        {"name escapes",
         PTR,
         Response(0, 1,
                  {Rr(QuestionName, PTR,
                      Bytes{3, 'a', '.', 'b', 3, 'c', '\\', 'd', 6, 1, 17, 22, 200, ' ', '~', 0})}),
         {L"PTR a\\.b.c\\\\d.\x01\x11\x16\\200 ~"}},
        {"UTF-8 labels decoded, C1 raw, other bytes as \\DDD",
         CNAME,
         Response(0, 1,
                  {Rr(QuestionName, CNAME,
                      Bytes{5, 'c', 'a', 'f', 0xC3, 0xA9, 4, 0xC2, 0x9B, 0xFF, 'x', 2, 0xC3, 0xA9} +
                          Name("test"))}),
         {L"CNAME caf\u00E9.\x9B\\255x.\u00E9.test"}},
        {"a UTF-8 sequence cut by the label end is not text",
         CNAME,
         Response(0, 1, {Rr(QuestionName, CNAME, Bytes{2, 'a', 0xC3, 1, 0xA9} + Name("test"))}),
         {L"CNAME a\\195.\\169.test"}},
        {"names through pointers up to 255 octets",
         CNAME,
         Response(0, 4, GrowingNames("r.test", 61)),
         {L"CNAME " + std::wstring(61, L'x'), L"CNAME " + x63 + L"." + std::wstring(61, L'x'),
          L"CNAME " + x63 + L"." + x63 + L"." + std::wstring(61, L'x'),
          L"CNAME " + x63 + L"." + x63 + L"." + x63 + L"." + std::wstring(61, L'x')}},
        {"root name is a dot", NS, Response(0, 1, {Rr(QuestionName, NS, {0})}), {L"NS ."}},
        {"name of 255 octets",
         CNAME,
         Response(0, 1,
                  {Rr(QuestionName, CNAME,
                      Name(std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                           std::string(63, 'c') + "." + std::string(61, 'd')))}),
         {L"CNAME " + std::wstring(63, L'a') + L"." + std::wstring(63, L'b') + L"." +
          std::wstring(63, L'c') + L"." + std::wstring(61, L'd')}},
    };
}

TEST_F(DnsClientTest, EveryRecordTypeIsParsed) {
    for (const RecordCase& c : RecordCases()) {
        SCOPED_TRACE(c.label);
        server.SetReply("r.test", c.type, {c.reply});
        RecordList list;
        ASSERT_EQ(Query(L"r.test", c.type, list), 0);
        EXPECT_EQ(DescribeAll(list.get()), c.expected);
    }
}

TEST_F(DnsClientTest, RecordsCarryOwnerTtlAndFlags) {
    const size_t answers = AnswerOffset("www.r.test");
    server.SetReply("www.r.test", A,
                    {Response(0, 2,
                              {Rr(QuestionName, CNAME, Name("B.r.test")),
                               Rr(Pointer(answers + 12), A, {192, 0, 2, 9})})});
    RecordList list;
    ASSERT_EQ(Query(L"WWW.r.test.", A, list), 0);
    ASSERT_NE(list->pNext, nullptr);
    EXPECT_STREQ(list->pName, L"WWW.r.test"); // the question as asked
    EXPECT_STREQ(list->pNext->pName, L"B.r.test");
    EXPECT_EQ(list->dwTtl, 3600u);
    EXPECT_EQ(list->pNext->wDataLength, sizeof(DNS_A_DATA));
    EXPECT_EQ(list->pNext->pNext, nullptr);
}

// ---- Status codes -------------------------------------------------------------------------

TEST_F(DnsClientTest, ResponseCodesBecomeStatuses) {
    struct Case {
        const char* label;
        Bytes reply;
        DNS_STATUS status;
    } cases[] = {
        {"NXDOMAIN", Response(3, 0), DNS_ERROR_RCODE_NAME_ERROR},
        {"NXDOMAIN after a CNAME", Response(3, 1, {Rr(QuestionName, CNAME, Name("gone.test"))}),
         DNS_ERROR_RCODE_NAME_ERROR},
        {"SERVFAIL", Response(2, 0), DNS_ERROR_RCODE_SERVER_FAILURE},
        {"REFUSED", Response(5, 0), DNS_ERROR_RCODE_REFUSED},
        {"NOTIMP", Response(4, 0), DNS_ERROR_RCODE_NOT_IMPLEMENTED},
        {"YXDOMAIN", Response(6, 0), 9006},
        {"NODATA", Response(0, 0), DNS_INFO_NO_RECORDS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        server.SetReply("s.test", A, {c.reply});
        RecordList list;
        EXPECT_EQ(Query(L"s.test", A, list), c.status);
        EXPECT_EQ(list, nullptr);
    }
}

TEST_F(DnsClientTest, FormErrWithoutEdnsSupportIsRetriedPlainThenReported) {
    server.SetReply("f.test", A, {Response(1, 0)});
    RecordList list;
    EXPECT_EQ(Query(L"f.test", A, list), DNS_ERROR_RCODE_FORMAT_ERROR);
    std::vector<FakeDnsServer::Query> seen = server.Queries();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].ednsSize, 1232);
    EXPECT_EQ(seen[1].ednsSize, -1);
}

// ---- Malformed answers --------------------------------------------------------------------

// Answers of tests/hostile/answers/ that cannot be read, each asked for its type.
struct BadCase {
    const char* label;
    const char* answers; // the case's file
    uint16_t type;
};

const BadCase BadCases[] = {
    {"owner pointer to itself", "owner-pointer-to-itself", A},
    {"pointer loop", "cname-pointer-loop", CNAME},
    {"pointer outside the message", "owner-pointer-outside", A},
    {"pointer cut by the message end", "pointer-cut-by-end", A},
    {"label length 64", "owner-label-64", A},
    {"extended label type", "owner-extended-label", A},
    {"name over 255 octets through pointers", "cname-over-255-octets", CNAME},
    {"name running past the message end", "name-past-end", A},
    {"RDLENGTH past the end", "rdlength-past-end", A},
    {"record header cut short", "record-header-cut", A},
    {"A of 5 bytes", "a-5-bytes", A},
    {"A of 3 bytes", "a-3-bytes", A},
    {"AAAA of 15 bytes", "aaaa-15-bytes", AAAA},
    {"MX without exchange", "mx-without-exchange", MX},
    {"MX with a byte after the name", "mx-byte-after-name", MX},
    {"MX name past its RDATA", "mx-name-past-rdata", MX},
    {"CNAME with a byte after the name", "cname-byte-after-name", CNAME},
    {"NS without data", "ns-without-data", NS},
    {"SOA numbers short", "soa-numbers-short", SOA},
    {"SOA numbers long", "soa-numbers-long", SOA},
    {"SOA second name missing", "soa-second-name-missing", SOA},
    {"LOC of 15 bytes", "loc-15-bytes", LOC},
    {"LOC of 17 bytes", "loc-17-bytes", LOC},
    {"LOC version 1", "loc-version-1", LOC},
    {"TXT string past its data", "txt-past-its-data", TXT},
    {"TXT string past its data into the next record", "txt-into-next-record", TXT},
    {"more answers announced than present", "ancount-too-large", A},
    {"OPT in the answer section", "opt-in-answers", A},
    {"not a response", "not-a-response", A},
};

TEST_F(DnsClientTest, MalformedAnswersAreBadPackets) {
    for (const BadCase& c : BadCases) {
        SCOPED_TRACE(std::string(c.label) + " (" + c.answers + ".answer)");
        server.SetReply("bad.test", c.type, CorpusReply(c.answers, "bad.test", c.type));
        RecordList list;
        EXPECT_EQ(Query(L"bad.test", c.type, list), DNS_ERROR_BAD_PACKET);
        EXPECT_EQ(list, nullptr);
    }
}

// ---- Names --------------------------------------------------------------------------------

TEST_F(DnsClientTest, InvalidNamesAreRejectedWithoutTraffic) {
    std::wstring label64(64, L'a');
    std::wstring long254 = std::wstring(63, L'a') + L"." + std::wstring(63, L'b') + L"." +
                           std::wstring(63, L'c') + L"." + std::wstring(62, L'd');
    for (const std::wstring& name :
         {std::wstring(L""), std::wstring(L"a..b"), std::wstring(L".a"), std::wstring(L".."),
          label64 + L".test", long254, std::wstring(L"a\\"), std::wstring(L"a\\25"),
          std::wstring(L"\\256.test")}) {
        SCOPED_TRACE(testing::PrintToString(name.size()));
        RecordList list;
        EXPECT_EQ(Query(name.c_str(), A, list), DNS_ERROR_INVALID_NAME);
        EXPECT_EQ(list, nullptr);
    }
    EXPECT_TRUE(server.Queries().empty());
}

TEST_F(DnsClientTest, NamesAreSentInWireForm) {
    struct Case {
        std::wstring name;
        Bytes wire;
    } cases[] = {
        {L"a\\.b.test", Bytes{3, 'a', '.', 'b'} + Name("test")},
        {L"\\065bc.test.", Name("Abc.test")},
        {L"\\\\x.test", Bytes{2, '\\', 'x'} + Name("test")},
        // Letters outside ASCII: the IDNA form, folded to lower case; ASCII alone as typed.
        {L"caf\u00E9.test", Name("xn--caf-dma.test")},
        {L"B\u00FCcher.Example.", Name("xn--bcher-kva.example")},
        {L"ABC.test", Name("ABC.test")},
        // Not valid IDNA (a symbol, a joiner without context): as typed, in UTF-8.
        {L"\u2603.test", Bytes{3, 0xE2, 0x98, 0x83} + Name("test")},
        {L"a\u200D.test", Bytes{4, 'a', 0xE2, 0x80, 0x8D} + Name("test")},
        {L".", Bytes{0}},
        {std::wstring(63, L'a') + L"." + std::wstring(63, L'b') + L"." + std::wstring(63, L'c') +
             L"." + std::wstring(61, L'd'),
         Name(std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
              std::string(61, 'd'))},
    };
    for (const Case& c : cases) {
        RecordList list;
        Query(c.name.c_str(), A, list); // REFUSED: unknown to the server
        ASSERT_FALSE(server.Queries().empty());
        EXPECT_EQ(server.Queries().back().name, c.wire);
    }
}

TEST_F(DnsClientTest, MissingArgumentsAreInvalidParameters) {
    DNS_RECORD* list = nullptr;
    EXPECT_EQ(DnsQuery_W(L"x.test", A, 0, &servers, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DnsQuery_W(nullptr, A, 0, &servers, &list, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(list, nullptr);
    DnsFree(nullptr, DnsFreeRecordList);
}

// ---- Transport ----------------------------------------------------------------------------

Bytes ManyA(size_t count) {
    std::vector<Bytes> records;
    for (size_t i = 0; i < count; ++i)
        records.push_back(Rr(QuestionName, A, {192, 0, 2, uint8_t(i)}));
    return Response(0, uint16_t(count), records);
}

TEST_F(DnsClientTest, UdpQueriesAdvertiseEdnsAndCarryLargeAnswers) {
    server.SetReply("big.test", A, {ManyA(60)}); // about 1000 bytes: over 512, under 1232
    RecordList list;
    ASSERT_EQ(Query(L"big.test", A, list), 0);
    EXPECT_EQ(DescribeAll(list.get()).size(), 60u);
    std::vector<FakeDnsServer::Query> seen = server.Queries();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].tcp);
    EXPECT_EQ(seen[0].ednsSize, 1232);
}

TEST_F(DnsClientTest, TruncatedAnswersAreRepeatedOverTcp) {
    FakeDnsServer::Reply reply{ManyA(60)};
    reply.truncateOverUdp = true;
    server.SetReply("tc.test", A, reply);
    RecordList list;
    ASSERT_EQ(Query(L"tc.test", A, list), 0);
    std::vector<std::wstring> lines = DescribeAll(list.get());
    ASSERT_EQ(lines.size(), 60u);
    EXPECT_EQ(lines.front(), L"A 192.0.2.0");
    EXPECT_EQ(lines.back(), L"A 192.0.2.59");
    std::vector<FakeDnsServer::Query> seen = server.Queries();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].tcp);
    EXPECT_TRUE(seen[1].tcp);
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

TEST_F(DnsClientTest, UnansweredQueriesTimeOutWithinTheBound) {
    DnsClientSetTimeoutForTesting(ShortTimeoutMs);
    // No reply; only a reply with another ID; only a reply to another question.
    struct Case {
        const char* name;
        const char* answers; // the case of tests/hostile/answers/
    } cases[] = {
        {"mute.test", "mute"}, {"id.test", "wrong-id"}, {"question.test", "other-question"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetReply(c.name, A, CorpusReply(c.answers, c.name, A));
        auto start = std::chrono::steady_clock::now();
        double cpuStart = ThreadCpuSeconds();
        RecordList list;
        EXPECT_EQ(Query(Widen(c.name).c_str(), A, list), ERROR_TIMEOUT);
        auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(list, nullptr);
        EXPECT_GE(elapsed, std::chrono::milliseconds(2 * ShortTimeoutMs - 20));
        // Within the bound: the tries of one question's time, and no more.
        size_t tries = 0;
        for (const FakeDnsServer::Query& query : server.Queries())
            tries += query.name == Name(c.name);
        EXPECT_EQ(tries, 3u);
        EXPECT_LT(ThreadCpuSeconds() - cpuStart, 0.1); // waited, did not spin
    }
}

TEST_F(DnsClientTest, ARefusedPortFailsAtOnceAsRefused) {
    int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe); // nothing listens on this port now
    DnsClientSetPortForTesting(ntohs(address.sin_port));
    DnsClientSetTimeoutForTesting(ShortTimeoutMs);
    RecordList list;
    EXPECT_EQ(Query(L"closed.test", A, list), WSAECONNREFUSED);
    EXPECT_EQ(list, nullptr);
}

TEST_F(DnsClientTest, BatchQueriesAreInFlightTogether) {
    constexpr size_t Count = 9;
    const uint16_t types[Count] = {A, NS, CNAME, SOA, PTR, MX, TXT, AAAA, LOC};
    server.SetReply("n.test", A, {Response(0, 1, {Rr(QuestionName, A, {192, 0, 2, 1})})});
    server.SetReply("n.test", NS, {Response(0, 1, {Rr(QuestionName, NS, Name("ns.n.test"))})});
    server.SetReply("n.test", CNAME, {Response(0, 1, {Rr(QuestionName, CNAME, Name("c.test"))})});
    server.SetReply("n.test", SOA, {Response(0, 1, {Rr(QuestionName, SOA, Soa())})});
    server.SetReply("n.test", PTR, {Response(3, 0)});
    server.SetReply("n.test", MX, {Response(0, 0)});
    server.SetReply("n.test", TXT, {Response(0, 1, {Rr(QuestionName, TXT, Text("t"))})});
    server.SetReply("n.test", AAAA, {Response(0, 1, {Rr(QuestionName, AAAA, Bytes(16, 0))})});
    server.SetReply("n.test", LOC, {Response(0, 1, {Rr(QuestionName, LOC, LocData)})});
    // No answer leaves the server before all nine queries have arrived: sequential queries
    // would time out here.
    server.HoldUntil(Count);
    DnsClientSetTimeoutForTesting(1000);

    DnsQueryRequest requests[Count];
    for (size_t i = 0; i < Count; ++i)
        requests[i] = {L"n.test", types[i], -1, nullptr};
    DnsQueryBatch(requests, Count, 0x48, &servers);

    const wchar_t* expected[Count] = {
        L"A 192.0.2.1",  L"NS ns.n.test",
        L"CNAME c.test", L"SOA ns.r.test hostmaster.r.test 2024037189 7200 3600 1209600 4294967295",
        nullptr,         nullptr,
        L"TXT[t]",       L"AAAA ::",
        nullptr};
    for (size_t i = 0; i < Count; ++i) {
        SCOPED_TRACE(types[i]);
        RecordList list(requests[i].results);
        if (types[i] == PTR) {
            EXPECT_EQ(requests[i].status, DNS_ERROR_RCODE_NAME_ERROR);
        } else if (types[i] == MX) {
            EXPECT_EQ(requests[i].status, DNS_INFO_NO_RECORDS);
        } else {
            ASSERT_EQ(requests[i].status, 0);
            ASSERT_NE(list, nullptr);
            if (expected[i] != nullptr) {
                EXPECT_EQ(Describe(*list), expected[i]);
            }
        }
    }
    std::vector<FakeDnsServer::Query> seen = server.Queries();
    ASSERT_EQ(seen.size(), Count);
    std::set<uint16_t> ids;
    for (const auto& query : seen)
        ids.insert(query.id);
    EXPECT_EQ(ids.size(), Count); // distinct IDs on one channel
}

TEST_F(DnsClientTest, QueryIdsAreRandom) {
    for (int i = 0; i < 6; ++i) {
        RecordList list;
        Query(L"id.test", A, list);
    }
    std::set<uint16_t> ids;
    for (const auto& query : server.Queries())
        ids.insert(query.id);
    EXPECT_GE(ids.size(), 5u); // six 16-bit random IDs: a repeat is rare, two are very rare
}

std::atomic<int> Interrupts{0};
void CountInterrupt(int) {
    ++Interrupts;
}

TEST_F(DnsClientTest, InterruptsDoNotLoseTheQuery) {
    struct sigaction action {
    }, previous{};
    action.sa_handler = CountInterrupt; // no SA_RESTART: poll returns EINTR
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGINT, &action, &previous), 0);

    FakeDnsServer::Reply slow{Response(0, 1, {Rr(QuestionName, A, {192, 0, 2, 3})})};
    slow.delay = 300ms;
    server.SetReply("slow.test", A, slow);
    Interrupts = 0;
    std::atomic<bool> done{false};
    pthread_t self = pthread_self();
    std::thread interrupter([&] {
        while (!done) {
            pthread_kill(self, SIGINT);
            std::this_thread::sleep_for(20ms);
        }
    });
    RecordList list;
    double cpuStart = ThreadCpuSeconds();
    DNS_STATUS status = Query(L"slow.test", A, list);
    double cpu = ThreadCpuSeconds() - cpuStart;
    done = true;
    interrupter.join();
    sigaction(SIGINT, &previous, nullptr);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(DescribeAll(list.get()), std::vector<std::wstring>{L"A 192.0.2.3"});
    EXPECT_GE(Interrupts.load(), 5);
    EXPECT_LT(cpu, 0.1);
}

} // namespace
