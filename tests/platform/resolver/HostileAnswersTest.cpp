// Lying and broken servers, at the parse level: names that cannot be read, lengths that lie,
// junk before the answer, TCP that misbehaves. Each case is one answer of tests/hostile/answers/,
// sent by the fake server as the end-to-end hostile server sends it, and the status and records
// the client makes of it. (The terminal's side of hostile data, and what missing answers cost
// in time, are the end-to-end hostile runs of tests/hostile.)
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "AnswerCorpus.h"
#include "DescribeRecords.h"
#include "FakeDnsServer.h"
#include "platform/resolver/DnsClient.h"
#include "platform/resolver/DnsClientTestingPosix.h"

namespace {

constexpr uint32_t ShortTimeoutMs = 100;
constexpr DNS_STATUS AnyFailure = -1; // some non-zero status, no records
const std::string Question = "h.test";

class HostileAnswersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DnsClientSetPortForTesting(server.Port());
        DnsClientSetTimeoutForTesting(ShortTimeoutMs);
        servers.AddrCount = 1;
        servers.AddrArray[0] = htonl(INADDR_LOOPBACK);
    }
    void TearDown() override {
        DnsClientSetPortForTesting(0);
        DnsClientSetTimeoutForTesting(0);
    }
    FakeDnsServer server;
    IP4_ARRAY servers{};
};

// One case of tests/hostile/answers/ asked for one type, with what the client makes of it.
// With thenTheAnswer the case's junk is followed by the good answer (good.answer).
struct HostileCase {
    const char* label;
    const char* answers; // the case's file
    uint16_t type;
    DNS_STATUS status;
    std::vector<std::wstring> records;
    bool thenTheAnswer = false;
};

std::vector<HostileCase> HostileCases() {
    // The name of chain-owner.answer: 100 one-octet labels in front of the question name.
    std::wstring chainName;
    for (size_t i = 100; i-- > 0;)
        chainName += std::wstring(1, wchar_t(L'a' + i % 26)) + L".";
    chainName += L"h.test";

    return {
        // Owner names that cannot be read spoil the whole answer.
        {"owner pointer into the header", "owner-pointer-header", A, AnyFailure, {}},
        {"owner of 270 octets", "owner-270-octets", A, DNS_ERROR_BAD_PACKET, {}},
        {"owner label type 0x40", "owner-label-type-40", A, DNS_ERROR_BAD_PACKET, {}},
        {"owner of 64 octets after good records",
         "owner-64-after-good",
         A,
         DNS_ERROR_BAD_PACKET,
         {}},
        {"forward pointer to the question name",
         "forward-pointer",
         A,
         0,
         {L"A 192.0.2.7", L"TYPE65280"}},
        // Targets that cannot be read.
        {"CNAME target pointing at itself",
         "cname-pointer-to-itself",
         CNAME,
         DNS_ERROR_BAD_PACKET,
         {}},
        {"NS target outside the message", "ns-pointer-outside", NS, DNS_ERROR_BAD_PACKET, {}},
        {"PTR target with a label of 64", "ptr-label-64", PTR, DNS_ERROR_BAD_PACKET, {}},
        {"SOA primary server past its data", "soa-past-its-data", SOA, DNS_ERROR_BAD_PACKET, {}},
        // Counts that lie.
        {"ANCOUNT 65535", "ancount-65535", A, DNS_ERROR_BAD_PACKET, {}},
        {"LOC of 12 bytes", "loc-12-bytes", LOC, DNS_ERROR_BAD_PACKET, {}},
        // Legal but unusual.
        {"question echoed in capitals", "question-capitals", A, 0, {L"A 192.0.2.7"}},
        {"owner of 100 labels through pointers is another name",
         "chain-owner",
         A,
         0,
         {L"TYPE65280"}},
        {"that name as the alias target is kept",
         "chain-alias",
         A,
         0,
         {L"TYPE65280", L"CNAME " + chainName, L"A 192.0.2.7"}},
        {"NXDOMAIN carrying records", "nxdomain-with-records", A, DNS_ERROR_RCODE_NAME_ERROR, {}},
        // Junk first, then the answer: the junk is ignored at once.
        {"an answer with another ID, then the answer", "wrong-id", A, 0, {L"A 192.0.2.7"}, true},
        {"an answer to another question, then the answer",
         "other-question",
         A,
         0,
         {L"A 192.0.2.7"},
         true},
        {"an empty datagram, then the answer", "empty", A, 0, {L"A 192.0.2.7"}, true},
        {"5 bytes, then the answer", "short5", A, 0, {L"A 192.0.2.7"}, true},
        {"300 random bytes, then the answer", "random", A, 0, {L"A 192.0.2.7"}, true},
        // TCP after a truncated UDP answer: nothing from a connection that closes or frames
        // its answer wrongly.
        {"TCP length 100 too long", "tcp-len-long", A, AnyFailure, {}},
        {"TCP length 20 too short", "tcp-len-short", A, AnyFailure, {}},
        {"TCP closed without an answer", "tc-tcp-closed", A, ERROR_TIMEOUT, {}},
        // Only junk: no answer at all.
        {"only junk", "short5", A, ERROR_TIMEOUT, {}},
    };
}

TEST_F(HostileAnswersTest, EachAnswerGivesItsStatusAndRecords) {
    for (const HostileCase& c : HostileCases()) {
        SCOPED_TRACE(std::string(c.label) + " (" + c.answers + ".answer)");
        FakeDnsServer::Reply reply = CorpusReply(c.answers, Question, c.type);
        if (c.thenTheAnswer) {
            const FakeDnsServer::Reply good = CorpusReply("good", Question, c.type);
            reply.message = good.message;
            reply.noAnswer = false;
        }
        server.SetReply(Question, c.type, reply);
        DNS_RECORD* raw = nullptr;
        DNS_STATUS status = DnsQuery_W(L"h.test", c.type, 0x48, &servers, &raw, nullptr);
        RecordList records(raw);
        if (c.status == AnyFailure) {
            EXPECT_NE(status, 0);
        } else {
            EXPECT_EQ(status, c.status);
        }
        EXPECT_EQ(DescribeAll(records.get()), c.records);
    }
}

// All of a 64 KiB answer over TCP after a truncated UDP answer.
TEST_F(HostileAnswersTest, AnAnswerOf4000RecordsComesWholeOverTcp) {
    std::vector<Bytes> many;
    for (size_t i = 0; i < 4000; ++i)
        many.push_back(Rr(QuestionName, A, {10, 1, uint8_t(1 + i / 250), uint8_t(1 + i % 250)}));
    FakeDnsServer::Reply huge{Response(0, uint16_t(many.size()), many)};
    huge.truncateOverUdp = true;
    server.SetReply(Question, A, huge);
    DNS_RECORD* raw = nullptr;
    EXPECT_EQ(DnsQuery_W(L"h.test", A, 0x48, &servers, &raw, nullptr), 0);
    RecordList records(raw);
    std::vector<std::wstring> lines = DescribeAll(records.get());
    ASSERT_EQ(lines.size(), 4000u);
    EXPECT_EQ(lines.back(), L"A 10.1.16.250");
}

// Every case of the folder reads, for every type the DNS commands ask.
TEST(AnswerCorpus, EveryCaseReads) {
    const std::vector<std::string> cases = CorpusCases();
    EXPECT_GT(cases.size(), 30u);
    for (const std::string& name : cases) {
        for (uint16_t type : {A, NS, CNAME, SOA, PTR, MX, TXT, AAAA, LOC}) {
            SCOPED_TRACE(name + " " + std::to_string(type));
            EXPECT_NO_THROW(CorpusReply(name, Question, type));
        }
    }
}

} // namespace
