// Server selection: a named server, the system's configured servers, the list and its trace.
#include <cstring>
#include <string>
#include <vector>

#include "dns/lookup/ServerList.h"
#include "tests/fakes/FakeWorld.h"
#include "tests/fakes/Records.h"

namespace {

class ServerListTest : public FakeWorldTest {};

uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}

std::vector<uint32_t> Addresses(const ServerList& list) {
    return {list.AddrArray, list.AddrArray + list.AddrCount};
}

TEST_F(ServerListTest, ResolveRejectsMissingInputAndLeavesAddress) {
    fake::HostAddresses[L"dns.example"] = {"192.0.2.53"};
    SockAddr4 address;
    std::memset(&address, 0xAB, sizeof address);
    EXPECT_EQ(ResolveServerName(L"", &address), -1);
    EXPECT_EQ(ResolveServerName(nullptr, &address), -1);
    EXPECT_EQ(ResolveServerName(L"dns.example", nullptr), -1);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    for (size_t i = 0; i < sizeof address; ++i)
        EXPECT_EQ(bytes[i], 0xAB);
}

TEST_F(ServerListTest, ResolveTakesFirstAddress) {
    fake::HostAddresses[L"dns.example"] = {"192.0.2.53", "192.0.2.54"};
    SockAddr4 address;
    std::memset(&address, 0xAB, sizeof address);
    EXPECT_EQ(ResolveServerName(L"dns.example", &address), 1);
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(address.sin_addr.s_addr, Ip("192.0.2.53"));
    EXPECT_EQ(address.sin_port, 0);
}

TEST_F(ServerListTest, ResolveFailureClearsAddress) {
    SockAddr4 address;
    std::memset(&address, 0xAB, sizeof address);
    EXPECT_EQ(ResolveServerName(L"*", &address), 0);
    SockAddr4 zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&address, &zero, sizeof address), 0);
}

TEST_F(ServerListTest, DefaultsSkipUnusableEntriesKeepOrderAndDuplicates) {
    fake::ConfiguredServers = {"192.0.2.1", "0.0.0.0", "255.255.255.255", "2001:db8::53",
                               "garbage",   "",        "192.0.2.1",       "10.0.0.1"};
    ServerList list{};
    EXPECT_EQ(LoadDefaultServers(&list), 3);
    EXPECT_EQ(Addresses(list),
              (std::vector<uint32_t>{Ip("192.0.2.1"), Ip("192.0.2.1"), Ip("10.0.0.1")}));
    EXPECT_EQ(LoadDefaultServers(nullptr), -1);
}

TEST_F(ServerListTest, DefaultsKeepFirstEightUsable) {
    fake::ConfiguredServers = {"bad", "0.0.0.0"};
    std::vector<uint32_t> expected;
    for (int i = 1; i <= 12; ++i) {
        std::string text = "192.0.2." + std::to_string(i);
        fake::ConfiguredServers.push_back(text);
        fake::ConfiguredServers.push_back("::" + std::to_string(i));
        if (expected.size() < 8) expected.push_back(Ip(text.c_str()));
    }
    ServerList list{};
    EXPECT_EQ(LoadDefaultServers(&list), 8);
    EXPECT_EQ(Addresses(list), expected);
}

TEST_F(ServerListTest, DefaultsWhenConfigurationUnreadable) {
    fake::ConfiguredServers = {"192.0.2.1"};
    fake::NetworkFails = true;
    ServerList list{};
    list.AddrCount = 5;
    EXPECT_EQ(LoadDefaultServers(&list), 0);
    EXPECT_EQ(list.AddrCount, 0u);
    EXPECT_EQ(BuildServerList(nullptr, 0, true), nullptr);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(ServerListTest, ExplicitAddressWinsOverDefaults) {
    fake::ConfiguredServers = {"192.0.2.1"};
    const uint32_t server = Ip("198.51.100.53");
    ServerList* list = BuildServerList(&server, 1, true);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Addresses(*list), (std::vector<uint32_t>{server}));
    EXPECT_EQ(fake::Out, L"   *  DnsServers[0] = 198.51.100.53\r\n");
    FreeServerList(list);
}

TEST_F(ServerListTest, ExplicitAddressesBeyondCapacityAreDropped) {
    std::vector<uint32_t> many;
    for (int i = 1; i <= 10; ++i)
        many.push_back(Ip(("192.0.2." + std::to_string(i)).c_str()));
    ServerList* list = BuildServerList(many.data(), 10, false);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Addresses(*list), std::vector<uint32_t>(many.begin(), many.begin() + 8));
    FreeServerList(list);
}

TEST_F(ServerListTest, DefaultsTracedInOrderWithDuplicates) {
    fake::ConfiguredServers = {"127.0.0.53", "0.0.0.0", "10.1.2.3", "127.0.0.53"};
    ServerList* list = BuildServerList(nullptr, 0, true);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->AddrCount, 3u);
    EXPECT_EQ(fake::Out, L"   *  DnsServers[0] = 127.0.0.53\r\n"
                         L"   *  DnsServers[1] = 10.1.2.3\r\n"
                         L"   *  DnsServers[2] = 127.0.0.53\r\n");
    FreeServerList(list);
}

TEST_F(ServerListTest, NoTraceWithoutFlag) {
    fake::ConfiguredServers = {"127.0.0.53"};
    ServerList* list = BuildServerList(nullptr, 0, false);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(fake::Out, L"");
    FreeServerList(list);
}

TEST_F(ServerListTest, NoServerConfiguredGivesNoList) {
    fake::ConfiguredServers = {"0.0.0.0", "fe80::1"};
    EXPECT_EQ(BuildServerList(nullptr, 0, true), nullptr);
    EXPECT_EQ(fake::Out, L"");
    FreeServerList(nullptr);
}

} // namespace
