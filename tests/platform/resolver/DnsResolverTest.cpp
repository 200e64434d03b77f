// The stub resolver's care: the move to the next server, the records that may reach the module,
// and the session that keeps queries in flight. Two fake servers on 127.0.0.1 and 127.0.0.2
// share one port, so both can be named in one server list.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <set>

#include "DescribeRecords.h"
#include "FakeDnsServer.h"
#include "platform/resolver/DnsClient.h"
#include "platform/resolver/DnsClientTestingPosix.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t ShortTimeoutMs = 100;
constexpr uint32_t SecondLoopback = 0x7F000002; // 127.0.0.2

struct TwoServers {
    std::unique_ptr<FakeDnsServer> first, second;
    TwoServers() {
        for (int attempt = 0; attempt < 20 && !second; ++attempt) {
            first = std::make_unique<FakeDnsServer>();
            try {
                second = std::make_unique<FakeDnsServer>(SecondLoopback, first->Port());
            } catch (const std::runtime_error&) {
                first.reset(); // the port is taken on 127.0.0.2: another one
            }
        }
        if (!second) throw std::runtime_error("no common port on 127.0.0.1 and 127.0.0.2");
    }
};

struct ServerArray {
    uint32_t AddrCount;
    uint32_t AddrArray[2];
};

class DnsResolverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DnsClientSetPortForTesting(servers.first->Port());
        DnsClientSetTimeoutForTesting(ShortTimeoutMs);
    }
    void TearDown() override {
        DnsClientSetPortForTesting(0);
        DnsClientSetTimeoutForTesting(0);
    }
    IP4_ARRAY* List(size_t count) {
        list.AddrCount = uint32_t(count);
        list.AddrArray[0] = htonl(INADDR_LOOPBACK);
        list.AddrArray[1] = htonl(SecondLoopback);
        return reinterpret_cast<IP4_ARRAY*>(&list);
    }
    DNS_STATUS Query(const wchar_t* name, uint16_t type, RecordList& records, size_t count = 2) {
        DNS_RECORD* raw = nullptr;
        DNS_STATUS status = DnsQuery_W(name, type, 0x48, List(count), &raw, nullptr);
        records.reset(raw);
        return status;
    }
    TwoServers servers;
    ServerArray list{};
};

FakeDnsServer::Reply Answer(uint8_t rcode, std::vector<Bytes> records = {}) {
    return {Response(rcode, uint16_t(records.size()), records)};
}
FakeDnsServer::Reply GoodA() {
    return Answer(0, {Rr(QuestionName, A, {192, 0, 2, 1})});
}
FakeDnsServer::Reply Mute() {
    FakeDnsServer::Reply reply;
    reply.mute = true;
    return reply;
}

// ---- The next server ----------------------------------------------------------------------

TEST_F(DnsResolverTest, FailuresAndSilenceMoveTheQueryToTheNextServer) {
    struct Case {
        const char* label;
        FakeDnsServer::Reply first;
        size_t triesAtFirst;
    } cases[] = {
        // Overload of a resolver (RA set) may be passing: asked four times more, each with
        // fewer in flight, before the next server.
        {"SERVFAIL", Answer(2), 5},
        {"REFUSED", Answer(5), 5},
        {"NOTIMP", Answer(4), 1},
        {"malformed", Answer(0, {Rr(QuestionName, A, {1, 2, 3})}), 1},
        // Sent again after a quarter and three quarters of the question's time on the server.
        {"no answer", Mute(), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string name = std::string(c.label) == "no answer" ? "mute.test" : "f.test";
        servers.first->SetReply(name, A, c.first);
        servers.second->SetReply(name, A, GoodA());
        size_t before = servers.first->Queries().size();
        RecordList records;
        ASSERT_EQ(Query(Widen(name).c_str(), A, records), 0);
        EXPECT_EQ(DescribeAll(records.get()), std::vector<std::wstring>{L"A 192.0.2.1"});
        EXPECT_EQ(servers.first->Queries().size() - before, c.triesAtFirst);
    }
}

TEST_F(DnsResolverTest, TheLastServerAskedGivesTheStatus) {
    struct Case {
        FakeDnsServer::Reply first, second;
        DNS_STATUS status;
    } cases[] = {
        {Answer(2), Answer(5), DNS_ERROR_RCODE_REFUSED},
        {Answer(5), Answer(2), DNS_ERROR_RCODE_SERVER_FAILURE},
        {Answer(2), Answer(0, {Rr(QuestionName, A, {1})}), DNS_ERROR_BAD_PACKET},
        {Answer(0, {Rr(QuestionName, A, {1})}), Mute(), ERROR_TIMEOUT},
        {Mute(), Answer(4), DNS_ERROR_RCODE_NOT_IMPLEMENTED},
    };
    for (const Case& c : cases) {
        servers.first->SetReply("l.test", A, c.first);
        servers.second->SetReply("l.test", A, c.second);
        RecordList records;
        EXPECT_EQ(Query(L"l.test", A, records), c.status);
        EXPECT_EQ(records, nullptr);
    }
}

TEST_F(DnsResolverTest, DefiniteAnswersEndTheQueryAtTheFirstServer) {
    struct Case {
        FakeDnsServer::Reply first;
        DNS_STATUS status;
    } cases[] = {
        {Answer(3), DNS_ERROR_RCODE_NAME_ERROR},
        {Answer(0), DNS_INFO_NO_RECORDS},
        {GoodA(), 0},
    };
    for (const Case& c : cases) {
        servers.first->SetReply("d.test", A, c.first);
        servers.second->SetReply("d.test", A, GoodA());
        RecordList records;
        EXPECT_EQ(Query(L"d.test", A, records), c.status);
    }
    EXPECT_TRUE(servers.second->Queries().empty());
}

TEST_F(DnsResolverTest, OneMuteServerCostsItsTriesOnly) {
    servers.first->SetReply("m.test", A, Mute());
    auto start = std::chrono::steady_clock::now();
    RecordList records;
    EXPECT_EQ(Query(L"m.test", A, records, 1), ERROR_TIMEOUT);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(servers.first->Queries().size(), 3u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(2 * ShortTimeoutMs - 20));
}

// ---- Records about the question -----------------------------------------------------------

TEST_F(DnsResolverTest, OnlyTheQuestionAndItsAliasChainOwnRecords) {
    const size_t answers = AnswerOffset("q.test");
    struct Case {
        const char* label;
        std::vector<Bytes> records;
        DNS_STATUS status;
        std::vector<std::wstring> kept;
    } cases[] = {
        {"a foreign owner is dropped",
         {Rr(QuestionName, A, {192, 0, 2, 1}), Rr(Name("other.test"), A, {6, 6, 6, 6})},
         0,
         {L"A 192.0.2.1"}},
        {"the alias target's records are kept",
         {Rr(QuestionName, CNAME, Name("t.test")), Rr(Name("t.test"), A, {192, 0, 2, 2})},
         0,
         {L"CNAME t.test", L"A 192.0.2.2"}},
        {"a chain given in reverse order, owners in other cases",
         {Rr(Name("T2.TEST"), A, {192, 0, 2, 3}), Rr(Name("t1.Test"), CNAME, Name("t2.test")),
          Rr(QuestionName, CNAME, Name("T1.test")), Rr(Name("x.test"), A, {6, 6, 6, 6})},
         0,
         {L"A 192.0.2.3", L"CNAME t2.test", L"CNAME T1.test"}},
        {"an alias of an unrelated name is no link",
         {Rr(Name("x.test"), CNAME, Name("q.test")), Rr(QuestionName, A, {192, 0, 2, 4})},
         0,
         {L"A 192.0.2.4"}},
        {"a loop of aliases ends",
         {Rr(QuestionName, CNAME, Name("l.test")),
          Rr(Name("l.test"), CNAME, Labels("q") + Name("test")),
          Rr(Pointer(answers + 12), A, {192, 0, 2, 5})},
         0,
         {L"CNAME l.test", L"CNAME q.test", L"A 192.0.2.5"}},
        {"only foreign records: no records",
         {Rr(Name("o.test"), A, {6, 6, 6, 6})},
         DNS_INFO_NO_RECORDS,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        servers.first->SetReply("q.test", A, Answer(0, c.records));
        RecordList records;
        EXPECT_EQ(Query(L"Q.test.", A, records, 1), c.status);
        EXPECT_EQ(DescribeAll(records.get()), c.kept);
    }
}

// ---- The session --------------------------------------------------------------------------

struct SessionCloser {
    void operator()(DnsSession* session) const { DnsSessionClose(session); }
};
using Session = std::unique_ptr<DnsSession, SessionCloser>;

TEST_F(DnsResolverTest, SessionHandsBackQueriesAsTheyComplete) {
    FakeDnsServer::Reply slow = GoodA();
    slow.delay = 300ms;
    servers.first->SetReply("slow.test", A, slow);
    servers.first->SetReply("fast.test", A, GoodA());
    DnsClientSetTimeoutForTesting(2000);
    Session session(DnsSessionOpen(0x48, List(1)));
    ASSERT_NE(session, nullptr);
    DnsQueryRequest slowQuery{L"slow.test", A, -1, nullptr};
    DnsQueryRequest fastQuery{L"fast.test", A, -1, nullptr};
    DnsQueryRequest badName{L"a..b", A, -1, nullptr};
    ASSERT_TRUE(DnsSessionSubmit(session.get(), &slowQuery));
    ASSERT_TRUE(DnsSessionSubmit(session.get(), &fastQuery));
    EXPECT_FALSE(DnsSessionSubmit(session.get(), &badName));
    EXPECT_EQ(badName.status, DNS_ERROR_INVALID_NAME);
    EXPECT_EQ(DnsSessionPending(session.get()), 2u);

    std::vector<DnsQueryRequest*> order;
    DnsQueryRequest* done[4];
    while (DnsSessionPending(session.get()) != 0) {
        size_t n = DnsSessionWait(session.get(), 50, done, 4);
        order.insert(order.end(), done, done + n);
    }
    ASSERT_EQ(order, (std::vector<DnsQueryRequest*>{&fastQuery, &slowQuery}));
    for (DnsQueryRequest* request : order) {
        RecordList records(request->results);
        EXPECT_EQ(request->status, 0);
        EXPECT_EQ(DescribeAll(records.get()), std::vector<std::wstring>{L"A 192.0.2.1"});
    }
    EXPECT_EQ(DnsSessionWait(session.get(), 0, done, 4), 0u);
}

TEST_F(DnsResolverTest, ClosingGivesUpWithoutTouchingTheRequests) {
    servers.first->SetReply("mute.test", A, Mute());
    servers.first->SetReply("fast.test", A, GoodA());
    Session session(DnsSessionOpen(0, List(1)));
    ASSERT_NE(session, nullptr);
    std::vector<DnsQueryRequest> requests(40, DnsQueryRequest{L"mute.test", A, -7, nullptr});
    requests.push_back({L"fast.test", A, -7, nullptr});
    for (DnsQueryRequest& request : requests)
        ASSERT_TRUE(DnsSessionSubmit(session.get(), &request));
    session.reset();
    for (const DnsQueryRequest& request : requests) {
        EXPECT_EQ(request.status, -7);
        EXPECT_EQ(request.results, nullptr);
    }
}

TEST_F(DnsResolverTest, WaitReturnsWhenItsTimeIsUp) {
    servers.first->SetReply("mute.test", A, Mute());
    DnsClientSetTimeoutForTesting(2000);
    Session session(DnsSessionOpen(0x48, List(1)));
    DnsQueryRequest request{L"mute.test", A, -1, nullptr};
    ASSERT_TRUE(DnsSessionSubmit(session.get(), &request));
    DnsQueryRequest* done[1];
    EXPECT_EQ(DnsSessionWait(session.get(), 30, done, 1), 0u);
    EXPECT_EQ(DnsSessionPending(session.get()), 1u) << "back before the question's end";
}

TEST_F(DnsResolverTest, ManyQuestionsAreEachAskedOnceAndAnswered) {
    constexpr size_t Count = 300;
    std::vector<std::wstring> names;
    for (size_t i = 0; i < Count; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, 1, 'n');
        name += ".test";
        servers.first->SetReply(name, A, GoodA());
        names.push_back(Widen(name));
    }
    DnsClientSetTimeoutForTesting(3000);
    std::vector<DnsQueryRequest> requests;
    for (const std::wstring& name : names)
        requests.push_back({name.c_str(), A, -1, nullptr});
    DnsQueryBatch(requests.data(), Count, 0x48, List(1));
    for (DnsQueryRequest& request : requests) {
        RecordList records(request.results);
        EXPECT_EQ(request.status, 0);
    }
    std::set<std::string> asked;
    for (const auto& query : servers.first->Queries())
        asked.emplace(query.name.begin(), query.name.end());
    EXPECT_EQ(asked.size(), Count);
    EXPECT_EQ(servers.first->Queries().size(), Count);
}

} // namespace
