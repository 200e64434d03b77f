// The Windows DNS client against the loopback server of scripts/test.sh (DNS_E2E_SERVER):
// only the answer section reaches the module, sessions hand back every query, a closed session
// abandons its queries safely, and shutdown ends the pool. Skipped without the server.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers, which must come before windows.h.
#include <tlhelp32.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/resolver/DnsClient.h"

namespace {

class DnsClientWin : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* server = std::getenv("DNS_E2E_SERVER");
        if (server == nullptr || server[0] == '\0')
            GTEST_SKIP() << "DNS_E2E_SERVER is not set: run through scripts/test.sh";
        servers.AddrCount = 1;
        inet_pton(AF_INET, server, &servers.AddrArray[0]);
    }
    void TearDown() override { DnsClientShutdown(); }
    IP4_ARRAY servers{};
};

// Threads of this process, as the system lists them.
size_t ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

std::vector<std::wstring> Addresses(const DNS_RECORD* list) {
    std::vector<std::wstring> out;
    for (; list != nullptr; list = list->pNext) {
        if (list->wType != DNS_TYPE_A) continue;
        wchar_t text[32] = {};
        InetNtopW(AF_INET, &list->Data.A.IpAddress, text, 32);
        out.push_back(text);
    }
    return out;
}

// The name servers of corp.test live in it: the system's reply to A of ns1 carries ns2's
// address in the additional section, which must not look like ns1's own.
TEST_F(DnsClientWin, OnlyTheAnswerSectionIsHandedOn) {
    DNS_RECORD* list = nullptr;
    ASSERT_EQ(DnsQuery_W(L"ns1.corp.test", DNS_TYPE_A, 0x48, &servers, &list, nullptr), 0);
    EXPECT_EQ(Addresses(list), std::vector<std::wstring>{L"192.0.2.51"});
    for (const DNS_RECORD* record = list; record != nullptr; record = record->pNext)
        EXPECT_EQ(record->Flags.S.Section, DWORD(DnsSectionAnswer));
    DnsFree(list, DnsFreeRecordList);
}

TEST_F(DnsClientWin, AliasChainKeepsEveryAnswer) {
    DNS_RECORD* list = nullptr;
    ASSERT_EQ(DnsQuery_W(L"alias1.e2e.test", DNS_TYPE_A, 0x48, &servers, &list, nullptr), 0);
    size_t cnames = 0;
    for (const DNS_RECORD* record = list; record != nullptr; record = record->pNext)
        cnames += record->wType == DNS_TYPE_CNAME;
    EXPECT_EQ(cnames, 2u);
    EXPECT_EQ(Addresses(list), (std::vector<std::wstring>{L"192.0.2.21", L"192.0.2.22"}));
    DnsFree(list, DnsFreeRecordList);
}

TEST_F(DnsClientWin, FailureGivesNoList) {
    DNS_RECORD* list = reinterpret_cast<DNS_RECORD*>(1);
    EXPECT_NE(DnsQuery_W(L"nothing.e2e.test", DNS_TYPE_A, 0x48, &servers, &list, nullptr), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(DnsQuery_W(L"ns1.corp.test", DNS_TYPE_A, 0, &servers, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(DnsClientWin, SessionHandsBackEveryQuery) {
    const wchar_t* names[] = {L"ns1.corp.test",   L"ns2.corp.test",   L"www.corp.test",
                              L"host1.e2e.test",  L"target.e2e.test", L"mail.e2e.test",
                              L"a.b.e2e.test",    L"multi.e2e.test",  L"mapped.e2e.test",
                              L"nothing.e2e.test"};
    constexpr size_t Count = sizeof names / sizeof names[0];
    DnsSession* session = DnsSessionOpen(0x48, &servers);
    ASSERT_NE(session, nullptr);
    std::vector<DnsQueryRequest> requests(Count);
    for (size_t i = 0; i < Count; ++i) {
        requests[i] = {names[i], DNS_TYPE_A, -1, nullptr};
        ASSERT_TRUE(DnsSessionSubmit(session, &requests[i]));
    }
    EXPECT_EQ(DnsSessionPending(session), Count);
    std::set<DnsQueryRequest*> seen;
    while (DnsSessionPending(session) > 0) {
        DnsQueryRequest* done[4];
        size_t n = DnsSessionWait(session, 10000, done, 4);
        ASSERT_GT(n, 0u) << "no query completed within the wait";
        for (size_t i = 0; i < n; ++i)
            EXPECT_TRUE(seen.insert(done[i]).second);
    }
    EXPECT_EQ(seen.size(), Count);
    EXPECT_EQ(Addresses(requests[0].results), std::vector<std::wstring>{L"192.0.2.51"});
    EXPECT_EQ(Addresses(requests[7].results).size(), 4u);
    EXPECT_NE(requests[9].status, 0);
    EXPECT_EQ(requests[9].results, nullptr);
    for (DnsQueryRequest& request : requests)
        if (request.results != nullptr) DnsFree(request.results, DnsFreeRecordList);
    EXPECT_EQ(DnsSessionWait(session, 0, nullptr, 0), 0u);
    DnsSessionClose(session);
}

TEST_F(DnsClientWin, ClosedSessionAbandonsItsQueries) {
    // More queries than threads: some wait in the queue, some are under way when the session
    // goes; neither may touch the requests afterwards.
    for (int round = 0; round < 3; ++round) {
        auto* requests = new DnsQueryRequest[24];
        DnsSession* session = DnsSessionOpen(0x48, &servers);
        ASSERT_NE(session, nullptr);
        for (int i = 0; i < 24; ++i) {
            requests[i] = {i % 2 ? L"multi.e2e.test" : L"ns1.corp.test", DNS_TYPE_A, 0, nullptr};
            ASSERT_TRUE(DnsSessionSubmit(session, &requests[i]));
        }
        DnsSessionClose(session);
        delete[] requests;
    }
    // Shutdown leaves the queries still under way to their threads; a new session gets a fresh
    // pool.
    DnsClientShutdown();
    DnsQueryRequest request{L"ns1.corp.test", DNS_TYPE_A, -1, nullptr};
    DnsQueryBatch(&request, 1, 0x48, &servers);
    EXPECT_EQ(request.status, 0);
    EXPECT_EQ(Addresses(request.results), std::vector<std::wstring>{L"192.0.2.51"});
    DnsFree(request.results, DnsFreeRecordList);
}

TEST_F(DnsClientWin, BatchCompletesEveryRequest) {
    DnsQueryRequest requests[3] = {{L"ns2.corp.test", DNS_TYPE_A, -1, nullptr},
                                   {nullptr, DNS_TYPE_A, -1, nullptr},
                                   {L"www.corp.test", DNS_TYPE_A, -1, nullptr}};
    DnsQueryBatch(requests, 3, 0x48, &servers);
    EXPECT_EQ(Addresses(requests[0].results), std::vector<std::wstring>{L"192.0.2.52"});
    EXPECT_EQ(requests[1].status, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Addresses(requests[2].results), std::vector<std::wstring>{L"192.0.2.80"});
    for (DnsQueryRequest& request : requests)
        if (request.results != nullptr) DnsFree(request.results, DnsFreeRecordList);
}

// A pool whose queries are all answered is gone when the shutdown returns: no thread of it is
// still ending while the host unloads the module or ends the process.
TEST_F(DnsClientWin, ShutdownWaitsForItsIdleThreads) {
    DnsClientShutdown();
    const size_t before = ThreadCount();
    ASSERT_GT(before, 0u);
    for (int round = 0; round < 5; ++round) {
        DnsQueryRequest requests[32];
        for (auto& request : requests)
            request = {L"multi.e2e.test", DNS_TYPE_A, -1, nullptr};
        DnsQueryBatch(requests, 32, 0x48, &servers);
        for (auto& request : requests) {
            EXPECT_EQ(request.status, 0);
            DnsFree(request.results, DnsFreeRecordList);
        }
        DnsClientShutdown();
        // A thread of an earlier test may have ended meanwhile, none may have been added.
        ASSERT_LE(ThreadCount(), before) << "round " << round;
    }
}

} // namespace
