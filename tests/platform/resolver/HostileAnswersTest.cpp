// Lying and broken servers, at the parse level: names that cannot be read, lengths that lie,
// junk before the answer, TCP that misbehaves. Each case is one answer from the fake server and
// the status and records the client makes of it. (The terminal's side of hostile data, and
// what missing answers cost in time, are the end-to-end hostile runs of tests/hostile.)
#include <gtest/gtest.h>

#include <arpa/inet.h>

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

struct HostileCase {
    const char* label;
    uint16_t type;
    FakeDnsServer::Reply reply;
    DNS_STATUS status;
    std::vector<std::wstring> records;
};

const Bytes GoodA = {192, 0, 2, 7};
FakeDnsServer::Reply Message(uint16_t answers, const std::vector<Bytes>& records,
                             uint8_t rcode = 0) {
    return {Response(rcode, answers, records)};
}
FakeDnsServer::Reply Answer(const std::vector<Bytes>& records) {
    return Message(uint16_t(records.size()), records);
}

// count one-octet labels, each reached through its own pointer, in front of the question name:
// a legal name of 2 x count octets plus the question's (in the data of an unassigned type).
std::pair<Bytes, size_t> PointerChain(size_t count) {
    const size_t data = AnswerOffset(Question) + 2 + 10;
    Bytes chain;
    size_t previous = 12;
    for (size_t i = 0; i < count; ++i) {
        size_t here = data + chain.size();
        chain = chain + Bytes{1, uint8_t('a' + i % 26)} + Pointer(previous);
        previous = here;
    }
    return {chain, previous};
}

std::vector<HostileCase> HostileCases() {
    const size_t at = AnswerOffset(Question);
    const size_t data = at + 2 + 10; // RDATA of a first record owned by QuestionName
    const Bytes long270 =
        Labels(std::string(53, 'a') + "." + std::string(53, 'b') + "." + std::string(53, 'c') +
               "." + std::string(53, 'd') + "." + std::string(53, 'e')) +
        Bytes{0};
    const Bytes label64 = Bytes{64} + Bytes(64, 'x') + Bytes{0};
    auto [chain, chainEnd] = PointerChain(100);
    const Bytes helper = Rr(QuestionName, 65280, chain);
    std::wstring chainName;
    for (size_t i = 100; i-- > 0;)
        chainName += std::wstring(1, wchar_t(L'a' + i % 26)) + L".";
    chainName += L"h.test";

    FakeDnsServer::Reply upper = Answer({Rr(QuestionName, 1, GoodA)});
    upper.asIs = true;
    upper.message = Bytes{0, 0, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0} + Name("H.TEST") +
                    Bytes{0, 1, 0, 1} + Rr(QuestionName, 1, GoodA);

    std::vector<HostileCase> cases = {
        // Owner names that cannot be read spoil the whole answer.
        {"owner pointer into the header", A, Answer({Rr(Pointer(4), A, GoodA)}), AnyFailure, {}},
        {"owner of 270 octets", A, Answer({Rr(long270, A, GoodA)}), DNS_ERROR_BAD_PACKET, {}},
        {"owner label type 0x40",
         A,
         Answer({Rr(Bytes{0x40, 0}, A, GoodA)}),
         DNS_ERROR_BAD_PACKET,
         {}},
        {"owner of 64 octets after good records",
         A,
         Answer({Rr(QuestionName, A, GoodA), Rr(label64, A, GoodA)}),
         DNS_ERROR_BAD_PACKET,
         {}},
        {"forward pointer to the question name",
         A,
         Answer({Rr(Pointer(at + 16 + 12), A, GoodA), // the name in the next record
                 Rr(QuestionName, 65280, Name(Question))}),
         0,
         {L"A 192.0.2.7", L"TYPE65280"}},
        // Targets that cannot be read.
        {"CNAME target pointing at itself",
         CNAME,
         Answer({Rr(QuestionName, CNAME, Pointer(data))}),
         DNS_ERROR_BAD_PACKET,
         {}},
        {"NS target outside the message",
         NS,
         Answer({Rr(QuestionName, NS, Pointer(0x3FFF))}),
         DNS_ERROR_BAD_PACKET,
         {}},
        {"PTR target with a label of 64",
         PTR,
         Answer({Rr(QuestionName, PTR, label64)}),
         DNS_ERROR_BAD_PACKET,
         {}},
        {"SOA primary server past its data",
         SOA,
         Answer({RrWithLength(QuestionName, SOA, 3, Name("ns.test"))}),
         DNS_ERROR_BAD_PACKET,
         {}},
        // Counts that lie.
        {"ANCOUNT 65535",
         A,
         Message(0xFFFF, {Rr(QuestionName, A, GoodA)}),
         DNS_ERROR_BAD_PACKET,
         {}},
        {"LOC of 12 bytes",
         LOC,
         Answer({Rr(QuestionName, LOC, Bytes(12, 0))}),
         DNS_ERROR_BAD_PACKET,
         {}},
        // Legal but unusual.
        {"question echoed in capitals", A, upper, 0, {L"A 192.0.2.7"}},
        {"owner of 100 labels through pointers is another name",
         A,
         Answer({helper, Rr(Pointer(chainEnd), A, GoodA)}),
         0,
         {L"TYPE65280"}},
        {"that name as the alias target is kept",
         A,
         Answer(
             {helper, Rr(QuestionName, CNAME, Pointer(chainEnd)), Rr(Pointer(chainEnd), A, GoodA)}),
         0,
         {L"TYPE65280", L"CNAME " + chainName, L"A 192.0.2.7"}},
        {"NXDOMAIN carrying records",
         A,
         Message(1, {Rr(QuestionName, A, GoodA)}, 3),
         DNS_ERROR_RCODE_NAME_ERROR,
         {}},
    };

    // Junk first, then the answer: the junk is ignored at once.
    const Bytes other = Bytes{0, 0, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0} + Name("other.test") +
                        Bytes{0, 1, 0, 1} + Rr(Pointer(12), A, {6, 6, 6, 6});
    Bytes random(300);
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = uint8_t(i * 167 + 13);
    struct Junk {
        const char* label;
        FakeDnsServer::Reply::Junk junk;
    } junks[] = {
        {"an answer with another ID, then the answer",
         {Response(0, 1, {Rr(QuestionName, A, {6, 6, 6, 6})}) + Name(Question) + Bytes{0, 1, 0, 1},
          true}},
        {"an answer to another question, then the answer", {other, false}},
        {"an empty datagram, then the answer", {{}, false}},
        {"5 bytes, then the answer", {{1, 2, 3, 4, 5}, false}},
        {"300 random bytes, then the answer", {random, false}},
    };
    for (const Junk& j : junks) {
        FakeDnsServer::Reply reply = Answer({Rr(QuestionName, A, GoodA)});
        reply.junkFirst = {j.junk};
        cases.push_back({j.label, A, reply, 0, {L"A 192.0.2.7"}});
    }

    // TCP after a truncated UDP answer: all of a 64 KiB answer; nothing from a connection
    // that closes or frames its answer wrongly.
    std::vector<Bytes> many;
    for (size_t i = 0; i < 4000; ++i)
        many.push_back(Rr(QuestionName, A, {10, 1, uint8_t(1 + i / 250), uint8_t(1 + i % 250)}));
    FakeDnsServer::Reply huge = Answer(many);
    huge.truncateOverUdp = true;
    cases.push_back({"4000 records in 64 KiB over TCP", A, huge, 0, {}});
    for (int error : {100, -20}) {
        FakeDnsServer::Reply lying = Answer({Rr(QuestionName, A, GoodA)});
        lying.truncateOverUdp = true;
        lying.tcpLengthError = error;
        cases.push_back({error > 0 ? "TCP length 100 too long" : "TCP length 20 too short",
                         A,
                         lying,
                         AnyFailure,
                         {}});
    }
    FakeDnsServer::Reply closed = Answer({Rr(QuestionName, A, GoodA)});
    closed.truncateOverUdp = true;
    closed.tcpClose = true;
    cases.push_back({"TCP closed without an answer", A, closed, ERROR_TIMEOUT, {}});
    // Only junk: no answer at all.
    FakeDnsServer::Reply junkOnly;
    junkOnly.junkFirst = {{{1, 2, 3, 4, 5}, false}};
    junkOnly.noAnswer = true;
    cases.push_back({"only junk", A, junkOnly, ERROR_TIMEOUT, {}});
    return cases;
}

TEST_F(HostileAnswersTest, EachAnswerGivesItsStatusAndRecords) {
    for (const HostileCase& c : HostileCases()) {
        SCOPED_TRACE(c.label);
        server.SetReply(Question, c.type, c.reply);
        DNS_RECORD* raw = nullptr;
        DNS_STATUS status = DnsQuery_W(L"h.test", c.type, 0x48, &servers, &raw, nullptr);
        RecordList records(raw);
        if (c.status == AnyFailure) {
            EXPECT_NE(status, 0);
        } else {
            EXPECT_EQ(status, c.status);
        }
        std::vector<std::wstring> lines = DescribeAll(records.get());
        if (std::string(c.label).starts_with("4000")) {
            ASSERT_EQ(lines.size(), 4000u);
            EXPECT_EQ(lines.back(), L"A 10.1.16.250");
        } else {
            EXPECT_EQ(lines, c.records);
        }
    }
}

} // namespace
