// How a session treats a server: a question asked twice goes out once, an overloaded or lossy
// server is asked again instead of losing the answer, a forwarder at its limit loses nothing,
// truncation and rate limiting move the server to one TCP connection, and a server that drops above
// its capacity sees the queries in flight settle there. FakeDnsServer on 127.0.0.1 stands for the
// server.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "DescribeRecords.h"
#include "FakeDnsServer.h"
#include "platform/resolver/DnsClient.h"
#include "platform/resolver/DnsClientTestingPosix.h"
#include "platform/resolver/DnsServerWindowPosix.h"

namespace {

using namespace std::chrono_literals;

FakeDnsServer::Reply GoodA() {
    return {Response(0, 1, {Rr(QuestionName, A, {192, 0, 2, 1})})};
}

std::string Numbered(const char* prefix, size_t i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%zu.test", prefix, i);
    return name;
}

class DnsFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DnsClientSetPortForTesting(server.Port());
        DnsClientSetTimeoutForTesting(1000);
        servers.AddrCount = 1;
        servers.AddrArray[0] = htonl(INADDR_LOOPBACK);
    }
    void TearDown() override {
        DnsClientSetPortForTesting(0);
        DnsClientSetTimeoutForTesting(0);
    }
    // Asks every name for A in one batch; returns the statuses, freeing the records.
    std::vector<DNS_STATUS> Ask(const std::vector<std::string>& names) {
        std::vector<std::wstring> wide;
        for (const std::string& name : names)
            wide.push_back(Widen(name));
        std::vector<DnsQueryRequest> requests;
        for (const std::wstring& name : wide)
            requests.push_back({name.c_str(), A, -1, nullptr});
        DnsQueryBatch(requests.data(), requests.size(), 0x48, &servers);
        std::vector<DNS_STATUS> statuses;
        for (DnsQueryRequest& request : requests) {
            RecordList records(request.results);
            statuses.push_back(request.status);
        }
        return statuses;
    }
    // count numbered names that the server answers with reply.
    std::vector<std::string> ManyNames(const char* prefix, size_t count,
                                       const FakeDnsServer::Reply& reply) {
        std::vector<std::string> names;
        for (size_t i = 0; i < count; ++i) {
            names.push_back(Numbered(prefix, i));
            server.SetReply(names.back(), A, reply);
        }
        return names;
    }
    size_t UdpQueries() const {
        size_t n = 0;
        for (const auto& query : server.Queries())
            n += !query.tcp;
        return n;
    }
    FakeDnsServer server;
    IP4_ARRAY servers{};
};

TEST_F(DnsFlowTest, AQuestionAskedAgainGoesOutOnceAndEachRequestGetsItsOwnRecords) {
    FakeDnsServer::Reply slow = GoodA();
    slow.delay = 20ms;
    server.SetReply("same.test", A, slow);
    std::vector<DnsQueryRequest> requests(50, DnsQueryRequest{L"same.test", A, -1, nullptr});
    DnsQueryBatch(requests.data(), requests.size(), 0x48, &servers);
    // And once more in a later session: nothing is kept beyond one.
    DnsQueryRequest later{L"same.test", A, -1, nullptr};
    DnsQueryBatch(&later, 1, 0x48, &servers);
    RecordList laterRecords(later.results);
    EXPECT_EQ(later.status, 0);
    for (DnsQueryRequest& request : requests) {
        RecordList records(request.results);
        ASSERT_EQ(request.status, 0);
        EXPECT_EQ(DescribeAll(records.get()), std::vector<std::wstring>{L"A 192.0.2.1"});
    }
    EXPECT_EQ(server.Queries().size(), 2u);
}

TEST_F(DnsFlowTest, OverloadAndLossAreAskedAgainAtTheSameServer) {
    struct Case {
        const char* label;
        size_t ignoreFirst, refuseFirst;
        bool authoritative;
        DNS_STATUS status;
        size_t queries;
    } cases[] = {
        {"refused once", 0, 1, false, 0, 2},
        // A resolver sheds load for a while: a few tries, each with fewer in flight.
        {"refused four times", 0, 4, false, 0, 5},
        {"refused five times: final", 0, 5, false, DNS_ERROR_RCODE_REFUSED, 5},
        // An authoritative server refusing a name outside its zones: one more try at most.
        {"authoritative, refused once", 0, 1, true, 0, 2},
        {"authoritative, refused twice: final", 0, 2, true, DNS_ERROR_RCODE_REFUSED, 2},
        {"lost once", 1, 0, false, 0, 2},
        {"lost, then refused once", 1, 1, false, 0, 3},
    };
    size_t n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string name = Numbered("o", n++);
        FakeDnsServer::Reply reply = GoodA();
        reply.ignoreFirst = c.ignoreFirst;
        reply.refuseFirst = c.refuseFirst;
        reply.refuseWithoutRecursion = c.authoritative;
        server.SetReply(name, A, reply);
        size_t before = server.Queries().size();
        EXPECT_EQ(Ask({name}), std::vector<DNS_STATUS>{c.status});
        EXPECT_EQ(server.Queries().size() - before, c.queries);
    }
}

// A forwarder refuses whatever arrives above its limit of queries forwarded at once, however
// many names are asked: what one query at a time gets, all of them get.
TEST_F(DnsFlowTest, AForwarderAtItsLimitLosesNothing) {
    constexpr size_t Count = 120;
    FakeDnsServer::Reply reply = GoodA();
    reply.delay = 10ms;
    std::vector<std::string> names = ManyNames("f", Count, reply);
    server.SetForwardLimit(1);
    DnsClientSetTimeoutForTesting(2000);
    std::vector<DNS_STATUS> statuses = Ask(names);
    std::vector<std::string> failed;
    for (size_t i = 0; i < Count; ++i)
        if (statuses[i] != 0) failed.push_back(names[i] + " " + std::to_string(statuses[i]));
    EXPECT_EQ(failed, std::vector<std::string>{});
    EXPECT_GT(server.Refused(), 0u) << "the limit was reached";
}

TEST_F(DnsFlowTest, TruncatingServersAreAskedOverOneTcpConnection) {
    FakeDnsServer::Reply reply = GoodA();
    reply.truncateOverUdp = true;
    std::vector<std::string> names = ManyNames("t", 4 * size_t(DnsInitialWindow), reply);
    std::vector<DNS_STATUS> statuses = Ask(names);
    EXPECT_EQ(statuses, std::vector<DNS_STATUS>(names.size(), 0));
    EXPECT_EQ(server.TcpConnections(), 1u) << "one connection, every question pipelined on it";
    // Once truncations came back, no question goes over UDP any more: at most the first
    // window did.
    EXPECT_LE(UdpQueries(), size_t(DnsInitialWindow)) << "after a few truncations, TCP";
}

// A rate limiter that drops without sending truncated answers: many drops while other answers
// come move the server to TCP, where nothing is dropped.
TEST_F(DnsFlowTest, ARateLimiterThatOnlyDropsIsAskedOverTcp) {
    std::vector<std::string> names = ManyNames("d", 200, GoodA());
    server.SetDropEvery(2);
    DnsClientSetTimeoutForTesting(2000);
    EXPECT_EQ(Ask(names), std::vector<DNS_STATUS>(names.size(), 0));
    EXPECT_EQ(server.TcpConnections(), 1u);
    // The first window may all leave over UDP before a drop shows; what is asked again goes
    // over TCP. Staying on UDP would send half as many again for the drops, and so on.
    EXPECT_LT(UdpQueries(), names.size() * 3 / 2) << "asked again over TCP";
}

TEST_F(DnsFlowTest, QueriesInFlightSettleAtWhatTheServerTakes) {
    constexpr size_t Capacity = 24;
    constexpr size_t Count = 600;
    FakeDnsServer::Reply reply = GoodA();
    reply.delay = 10ms;
    std::vector<std::string> names = ManyNames("w", Count, reply);
    server.SetCapacity(Capacity);
    DnsClientSetTimeoutForTesting(2000);
    std::vector<DNS_STATUS> statuses = Ask(names);
    EXPECT_EQ(statuses, std::vector<DNS_STATUS>(Count, 0)) << "nothing lost";
    // Without a window, a server this small would drop most of every burst.
    EXPECT_LT(server.Dropped(), Count / 5);
    std::vector<size_t> seen = server.InFlightSeen();
    ASSERT_GT(seen.size(), Count / 2);
    std::vector<size_t> later(seen.begin() + std::ptrdiff_t(seen.size() / 2), seen.end());
    double mean =
        double(std::accumulate(later.begin(), later.end(), size_t(0))) / double(later.size());
    EXPECT_LE(mean, double(Capacity));
    EXPECT_GE(mean, double(Capacity) / 4) << "the window does not crawl";
}

} // namespace
