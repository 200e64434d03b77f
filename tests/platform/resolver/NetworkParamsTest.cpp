// The resolver configuration parser behind NetworkDnsServerTexts; the machine's own file is
// never read here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/resolver/ResolvConfPosix.h"

namespace {

std::vector<std::string> Parse(std::string_view text, int capacity = 8) {
    char texts[16][NetworkServerTextSize] = {};
    int count = ParseResolvConfServers(text, texts, capacity);
    return std::vector<std::string>(texts, texts + std::max(count, 0));
}

TEST(ResolvConf, NameserverLinesInOrderUnfiltered) {
    struct Case {
        const char* label;
        const char* text;
        std::vector<std::string> servers;
    } cases[] = {
        {"plain", "nameserver 192.0.2.1\nnameserver 192.0.2.2\n", {"192.0.2.1", "192.0.2.2"}},
        {"no final line end", "nameserver 192.0.2.1", {"192.0.2.1"}},
        {"IPv6, scoped, invalid and special entries kept",
         "nameserver 2001:db8::1\nnameserver fe80::1%eth0\nnameserver not-an-address\n"
         "nameserver 0.0.0.0\nnameserver 255.255.255.255\n",
         {"2001:db8::1", "fe80::1%eth0", "not-an-address", "0.0.0.0", "255.255.255.255"}},
        {"other keywords and comments skipped",
         "# nameserver 192.0.2.9\n; nameserver 192.0.2.8\ndomain example.test\n"
         "search a.test b.test\noptions ndots:2 timeout:1\nnameserver 192.0.2.3\n",
         {"192.0.2.3"}},
        {"tabs, blanks, trailing words, CR LF",
         "nameserver\t192.0.2.4  # home\r\nnameserver   192.0.2.5\r\n",
         {"192.0.2.4", "192.0.2.5"}},
        {"keyword must start the line and be a word of its own",
         " nameserver 192.0.2.6\nnameservers 192.0.2.7\nnameserver\nnameserver   \n",
         {}},
        {"duplicates kept",
         "nameserver 192.0.2.1\nnameserver 192.0.2.1\n",
         {"192.0.2.1", "192.0.2.1"}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Parse(c.text), c.servers);
    }
}

TEST(ResolvConf, StopsAtCapacityAndCutsLongTokens) {
    std::string text;
    for (int i = 1; i <= 10; ++i)
        text += "nameserver 192.0.2." + std::to_string(i) + "\n";
    std::vector<std::string> servers = Parse(text, 8);
    ASSERT_EQ(servers.size(), 8u);
    EXPECT_EQ(servers.back(), "192.0.2.8");
    EXPECT_TRUE(Parse(text, 0).empty());

    std::string longToken(100, 'a');
    EXPECT_EQ(Parse("nameserver " + longToken + "\n"),
              std::vector<std::string>{std::string(NetworkServerTextSize - 1, 'a')});
}

TEST(ResolvConf, ReadsAFileAndReportsUnreadableOnes) {
    char path[] = "/tmp/resolvconf-test-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string content = "search test\nnameserver 127.0.0.53\nnameserver ::1\n";
    ASSERT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
    close(fd);
    char texts[8][NetworkServerTextSize] = {};
    EXPECT_EQ(ReadResolvConfServers(path, texts, 8), 2);
    EXPECT_STREQ(texts[0], "127.0.0.53");
    EXPECT_STREQ(texts[1], "::1");
    unlink(path);

    EXPECT_EQ(ReadResolvConfServers(path, texts, 8), -1);   // gone
    EXPECT_EQ(ReadResolvConfServers("/tmp", texts, 8), -1); // a directory
}

} // namespace
