// One name and type: resolver use, type filtering, sort order, break handling, the SOA walk.
#include <cstring>
#include <string>
#include <vector>

#include "dns/frame/Plugin.h"
#include "dns/lookup/LookupFlags.h"
#include "dns/lookup/QueryName.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"
#include "tests/fakes/Records.h"

namespace {

class QueryNameTest : public FakeWorldTest {
  protected:
    void SetUp() override {
        FakeWorldTest::SetUp(); // also clears the pager, colour slots and break flag
    }
    void TearDown() override { EXPECT_EQ(fake::OpenResultLists, 0); }

    static std::vector<std::wstring> QueriedNames() {
        std::vector<std::wstring> names;
        for (const fake::Query& q : fake::Queries)
            names.push_back(q.name);
        return names;
    }
    // Runs a query and returns the result; the output is in fake::Out.
    static int Run(const wchar_t* name, uint16_t type, uint32_t flags, uint32_t* total) {
        return QueryName(nullptr, name, type, flags, 0, total);
    }
};

using Names = std::vector<std::wstring>;

TEST_F(QueryNameTest, RejectsMissingInput) {
    uint32_t total = 0;
    EXPECT_EQ(QueryName(nullptr, L"example.com", 0, 0, 0, &total), -1);
    EXPECT_EQ(QueryName(nullptr, L"", DNS_TYPE_A, 0, 0, &total), -1);
    EXPECT_EQ(QueryName(nullptr, nullptr, DNS_TYPE_A, 0, 0, &total), -1);
    EXPECT_TRUE(fake::Queries.empty());
}

TEST_F(QueryNameTest, QueriesWithForwardOptionsAndServers) {
    ServerList servers{2, {inet_addr("127.0.0.53"), inet_addr("127.0.0.54")}};
    fake::Answers[{L"example.com", DNS_TYPE_MX}] = {0, {fake::MX(10, L"mx.example.com")}};
    uint32_t total = 5;
    EXPECT_EQ(QueryName(&servers, L"example.com", DNS_TYPE_MX, 0, 0, &total), 0);
    EXPECT_EQ(total, 6u);
    ASSERT_EQ(fake::Queries.size(), 1u);
    EXPECT_EQ(fake::Queries[0].type, DNS_TYPE_MX);
    EXPECT_EQ(fake::Queries[0].options, 0x48u);
    EXPECT_TRUE(fake::Queries[0].withServers);
    EXPECT_EQ(fake::Queries[0].servers,
              (std::vector<uint32_t>{inet_addr("127.0.0.53"), inet_addr("127.0.0.54")}));

    fake::Queries.clear();
    EXPECT_EQ(QueryName(nullptr, L"example.com", DNS_TYPE_MX, 0, 0, nullptr), 0);
    ASSERT_EQ(fake::Queries.size(), 1u);
    EXPECT_FALSE(fake::Queries[0].withServers);
}

TEST_F(QueryNameTest, FailuresCountAsNoRecords) {
    fake::Answers[{L"refused.example", DNS_TYPE_NS}] = {5, {}};
    fake::Answers[{L"empty.example", DNS_TYPE_NS}] = {0, {}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"refused.example", DNS_TYPE_NS, 0, &total), 0);
    EXPECT_EQ(Run(L"empty.example", DNS_TYPE_NS, 0, &total), 0);
    EXPECT_EQ(Run(L"missing.example", DNS_TYPE_NS, 0, &total), 0);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(QueryNameTest, AliasChainPrintsOnlyQueriedType) {
    fake::Answers[{L"www.example.com", DNS_TYPE_A}] = {
        0,
        {fake::Named(DNS_TYPE_CNAME, L"web.example.net"), fake::A("192.0.2.7"),
         fake::A("192.0.2.8")}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"www.example.com", DNS_TYPE_A, 0, &total), 0);
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(fake::Out, L"A       ADDRESS     192.0.2.7\r\n"
                         L"A       ADDRESS     192.0.2.8\r\n");
}

TEST_F(QueryNameTest, OnlyOtherTypesCountsAsNone) {
    fake::Answers[{L"alias.example", DNS_TYPE_MX}] = {0,
                                                      {fake::Named(DNS_TYPE_CNAME, L"x.example")}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"alias.example", DNS_TYPE_MX, 0, &total), 0);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(QueryNameTest, EmptyTxtCountsButPrintsNothing) {
    fake::Answers[{L"t.example", DNS_TYPE_TEXT}] = {0, {fake::TXT({})}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"t.example", DNS_TYPE_TEXT, 0, &total), 0);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(QueryNameTest, MxSortedOrInResolverOrder) {
    fake::Answers[{L"example.com", DNS_TYPE_MX}] = {0,
                                                    {fake::MX(20, L"b.example.com"),
                                                     fake::MX(10, L"z.example.com"),
                                                     fake::MX(10, L"a.example.com")}};
    const std::wstring unsorted =
        L"MX      PREFERENCE  20\r\n        EXCHANGE    b.example.com\r\n"
        L"MX      PREFERENCE  10\r\n        EXCHANGE    z.example.com\r\n"
        L"MX      PREFERENCE  10\r\n        EXCHANGE    a.example.com\r\n";
    const std::wstring sorted = L"MX      PREFERENCE  10\r\n        EXCHANGE    a.example.com\r\n"
                                L"MX      PREFERENCE  10\r\n        EXCHANGE    z.example.com\r\n"
                                L"MX      PREFERENCE  20\r\n        EXCHANGE    b.example.com\r\n";
    EXPECT_EQ(Run(L"example.com", DNS_TYPE_MX, 0, nullptr), 0);
    EXPECT_EQ(fake::Out, unsorted);
    fake::Out.clear();
    EXPECT_EQ(Run(L"example.com", DNS_TYPE_MX, SortRecords, nullptr), 0);
    EXPECT_EQ(fake::Out, sorted);
}

TEST_F(QueryNameTest, SingleRecordWithSort) {
    fake::Answers[{L"example.com", DNS_TYPE_NS}] = {0, {fake::Named(DNS_TYPE_NS, L"only.example")}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"example.com", DNS_TYPE_NS, SortRecords, &total), 0);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(fake::Out, L"NS      DNAME       only.example\r\n");
}

// Each case: records in resolver order, and the lines expected after sorting.
struct SortCase {
    const char* what;
    uint16_t type;
    std::vector<fake::Record> records;
    std::vector<std::wstring> sortedLines;
};

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0, end;
    while ((end = text.find(L"\r\n", start)) != std::wstring::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::array<uint8_t, 16> V6(const char* text) {
    std::array<uint8_t, 16> bytes{};
    inet_pton(AF_INET6, text, bytes.data());
    return bytes;
}

TEST_F(QueryNameTest, SortOrderOfEveryType) {
    const uint32_t eq = 0x80000000u;
    const std::vector<SortCase> cases = {
        {"A numerically",
         DNS_TYPE_A,
         {fake::A("10.0.0.10"), fake::A("9.255.255.255"), fake::A("10.0.0.2")},
         {L"A       ADDRESS     9.255.255.255", L"A       ADDRESS     10.0.0.2",
          L"A       ADDRESS     10.0.0.10"}},
        {"AAAA by bytes",
         DNS_TYPE_AAAA,
         {fake::AAAA(V6("2001:db8::10")), fake::AAAA(V6("::1")), fake::AAAA(V6("2001:db8::2"))},
         {L"AAAA    ADDRESS     ::1", L"AAAA    ADDRESS     2001:db8::2",
          L"AAAA    ADDRESS     2001:db8::10"}},
        // A to Z fold to lower case, so "_" (0x5F) sorts before letters.
        {"NS case-insensitive, lower-case fold",
         DNS_TYPE_NS,
         {fake::Named(DNS_TYPE_NS, L"Zed.example"), fake::Named(DNS_TYPE_NS, L"abc.example"),
          fake::Named(DNS_TYPE_NS, L"_x.example")},
         {L"NS      DNAME       _x.example", L"NS      DNAME       abc.example",
          L"NS      DNAME       Zed.example"}},
        {"CNAME equal keys keep resolver order",
         DNS_TYPE_CNAME,
         {fake::Named(DNS_TYPE_CNAME, L"B.example"), fake::Named(DNS_TYPE_CNAME, L"A.example"),
          fake::Named(DNS_TYPE_CNAME, L"b.EXAMPLE"), fake::Named(DNS_TYPE_CNAME, L"a.example")},
         {L"CNAME   CNAME       A.example", L"CNAME   CNAME       a.example",
          L"CNAME   CNAME       B.example", L"CNAME   CNAME       b.EXAMPLE"}},
        // Only A to Z fold: E-acute stays apart from e-acute and sorts by code unit.
        {"PTR non-ASCII by code unit",
         DNS_TYPE_PTR,
         {fake::Named(DNS_TYPE_PTR, L"\u00e9.example"),
          fake::Named(DNS_TYPE_PTR, L"\u00c9.example"), fake::Named(DNS_TYPE_PTR, L"z.example")},
         {L"PTR     PTRDNAME    z.example", L"PTR     PTRDNAME    \u00c9.example",
          L"PTR     PTRDNAME    \u00e9.example"}},
        // UTF-16 order: a surrogate pair (U+1F600) sorts below U+FFFD.
        {"PTR beyond the BMP as UTF-16",
         DNS_TYPE_PTR,
         {fake::Named(DNS_TYPE_PTR, L"\ufffd"), fake::Named(DNS_TYPE_PTR, L"\U0001F600"),
          fake::Named(DNS_TYPE_PTR, L"\ud7ff")},
         {L"PTR     PTRDNAME    \ud7ff", L"PTR     PTRDNAME    \U0001F600",
          L"PTR     PTRDNAME    \ufffd"}},
        {"TXT pairwise, fewer strings first",
         DNS_TYPE_TEXT,
         {fake::TXT({L"b"}), fake::TXT({L"a", L"z"}), fake::TXT({L"a", L"b"}), fake::TXT({L"A"})},
         {L"TXT     TXT         A", L"TXT     TXT[ 0]     a", L"TXT     TXT[ 1]     b",
          L"TXT     TXT[ 0]     a", L"TXT     TXT[ 1]     z", L"TXT     TXT         b"}},
        // A record without strings prints no line, but sorts first: it has fewer strings.
        {"TXT without strings among others",
         DNS_TYPE_TEXT,
         {fake::TXT({L"b"}), fake::TXT({}), fake::TXT({L"a"})},
         {L"TXT     TXT         a", L"TXT     TXT         b"}},
        {"LOC latitude, longitude, altitude",
         DNS_TYPE_LOC,
         {fake::LOC(eq + 1000, eq, 10000000), fake::LOC(eq - 1000, eq + 1000, 10000000),
          fake::LOC(eq - 1000, eq, 10000100), fake::LOC(eq - 1000, eq, 10000000)},
         {L"LOC     LOCATION    0\u00B0 0' 1.000\" S  0\u00B0 0' 0.000\" E  0m",
          L"LOC     LOCATION    0\u00B0 0' 1.000\" S  0\u00B0 0' 0.000\" E  1m",
          L"LOC     LOCATION    0\u00B0 0' 1.000\" S  0\u00B0 0' 1.000\" E  0m",
          L"LOC     LOCATION    0\u00B0 0' 1.000\" N  0\u00B0 0' 0.000\" E  0m"}},
    };
    for (const SortCase& c : cases) {
        fake::Answers.clear();
        fake::Out.clear();
        fake::Answers[{L"example.com", c.type}] = {0, c.records};
        uint32_t total = 0;
        EXPECT_EQ(QueryName(nullptr, L"example.com", c.type, SortRecords | AsciiOnly, 0, &total),
                  0);
        EXPECT_EQ(total, c.records.size()) << c.what;
        EXPECT_EQ(SplitLines(fake::Out), c.sortedLines) << c.what;
    }
}

TEST_F(QueryNameTest, EqualKeysKeepResolverOrderInLargeLists) {
    // Case variants of two names: equal keys within each group, told apart by their case.
    auto variant = [](wchar_t letter, int bits) {
        std::wstring name(5, letter);
        for (int i = 0; i < 5; ++i)
            if (bits & (1 << i)) name[i] = wchar_t(letter - L'a' + L'A');
        return name;
    };
    std::vector<fake::Record> records;
    std::vector<std::wstring> expected;
    for (int i = 0; i < 32; ++i) {
        records.push_back(fake::Named(DNS_TYPE_NS, variant(L'b', 31 - i)));
        records.push_back(fake::Named(DNS_TYPE_NS, variant(L'a', i)));
    }
    for (wchar_t letter : {L'a', L'b'})
        for (int i = 0; i < 32; ++i)
            expected.push_back(L"NS      DNAME       " +
                               variant(letter, letter == L'a' ? i : 31 - i));
    fake::Answers[{L"example.com", DNS_TYPE_NS}] = {0, records};
    EXPECT_EQ(Run(L"example.com", DNS_TYPE_NS, SortRecords, nullptr), 0);
    EXPECT_EQ(SplitLines(fake::Out), expected);
}

TEST_F(QueryNameTest, SoaSerialComparesStoredBytes) {
    // Stored least significant byte first: 0x01000000 is 00 00 00 01, 256 is 00 01 00 00,
    // 1 is 01 00 00 00. Equal serials fall back to the primary, then the administrator.
    fake::Answers[{L"example.com", DNS_TYPE_SOA}] = {
        0,
        {fake::SOA(L"ns.example", L"a.example", {1, 0, 0, 0, 0}),
         fake::SOA(L"ns.example", L"a.example", {256, 0, 0, 0, 0}),
         fake::SOA(L"ns.example", L"b.example", {0x01000000, 0, 0, 0, 0}),
         fake::SOA(L"ns.example", L"a.example", {0x01000000, 0, 0, 0, 0}),
         fake::SOA(L"MA.example", L"z.example", {0x01000000, 0, 0, 0, 0})}};
    EXPECT_EQ(Run(L"example.com", DNS_TYPE_SOA, SortRecords, nullptr), 0);
    std::vector<std::wstring> order;
    for (const std::wstring& line : SplitLines(fake::Out))
        if (line.starts_with(L"        SERIAL") || line.starts_with(L"SOA") ||
            line.starts_with(L"        RNAME"))
            order.push_back(line.substr(20));
    EXPECT_EQ(order, (std::vector<std::wstring>{
                         L"MA.example", L"z.example", L"16777216", L"ns.example", L"a.example",
                         L"16777216", L"ns.example", L"b.example", L"16777216", L"ns.example",
                         L"a.example", L"256", L"ns.example", L"a.example", L"1"}));
}

TEST_F(QueryNameTest, CompareRecordsBreaksTiesByPosition) {
    DNS_RECORD one, two;
    std::memset(&one, 0, sizeof one);
    std::memset(&two, 0, sizeof two);
    one.wType = two.wType = DNS_TYPE_MX;
    one.Data.MX.pNameExchange = two.Data.MX.pNameExchange = const_cast<wchar_t*>(L"mx");
    const DNS_RECORD* entries[2] = {&one, &two};
    EXPECT_LT(CompareRecords(DNS_TYPE_MX, &entries[0], &entries[1]), 0);
    EXPECT_GT(CompareRecords(DNS_TYPE_MX, &entries[1], &entries[0]), 0);
    EXPECT_EQ(CompareRecords(DNS_TYPE_MX, &entries[0], &entries[0]), 0);

    two.Data.MX.wPreference = 1;
    EXPECT_LT(CompareRecords(DNS_TYPE_MX, &entries[0], &entries[1]), 0);
    one.Data.MX.wPreference = 2;
    EXPECT_GT(CompareRecords(DNS_TYPE_MX, &entries[0], &entries[1]), 0);
    EXPECT_LT(CompareRecords(DNS_TYPE_MX, &entries[1], &entries[0]), 0);

    // A type without a key: position alone decides.
    one.wType = two.wType = 99;
    EXPECT_LT(CompareRecords(99, &entries[0], &entries[1]), 0);
    EXPECT_GT(CompareRecords(99, &entries[1], &entries[0]), 0);
}

TEST_F(QueryNameTest, BreakStopsRecordsButCountsAll) {
    fake::Answers[{L"example.com", DNS_TYPE_NS}] = {0,
                                                    {fake::Named(DNS_TYPE_NS, L"a"),
                                                     fake::Named(DNS_TYPE_NS, L"b"),
                                                     fake::Named(DNS_TYPE_NS, L"c")}};
    PageLines = LinesLeft = 1;
    fake::Keys = {27};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"example.com", DNS_TYPE_NS, SortRecords, &total), -3);
    EXPECT_EQ(total, 3u);
    EXPECT_EQ(fake::Out, L"NS      DNAME       a\r\n");
}

TEST_F(QueryNameTest, SoaWalkPrintsParentOnce) {
    fake::Answers[{L"example.com", DNS_TYPE_SOA}] = {
        0, {fake::SOA(L"ns.example.com", L"hostmaster.example.com", {2024, 1, 2, 3, 4})}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"www.example.com", DNS_TYPE_SOA, WalkUpParents, &total), 0);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(QueriedNames(), (Names{L"www.example.com", L"example.com"}));
    EXPECT_EQ(fake::Out, L"SOA     MNAME       ns.example.com\r\n"
                         L"        RNAME       hostmaster.example.com\r\n"
                         L"        SERIAL      2024\r\n"
                         L"        REFRESH     1\r\n"
                         L"        RETRY       2\r\n"
                         L"        EXPIRE      3\r\n"
                         L"        MINIMUM     4\r\n");
}

TEST_F(QueryNameTest, SoaWalkSteps) {
    struct Case {
        const wchar_t* name;
        uint32_t flags;
        Names tried;
    } cases[] = {
        {L"a.b.c.d", WalkUpParents, {L"a.b.c.d", L"b.c.d", L"c.d"}},
        {L"a.b.c.d.", WalkUpParents, {L"a.b.c.d.", L"b.c.d.", L"c.d.", L"d."}},
        {L"a..b", WalkUpParents, {L"a..b"}},
        {L"a.b..c", WalkUpParents, {L"a.b..c", L"b..c"}},
        {L"example.com", WalkUpParents, {L"example.com"}},
        {L"a.b.c.d", 0, {L"a.b.c.d"}},
    };
    for (const Case& c : cases) {
        fake::Queries.clear();
        uint32_t total = 0;
        EXPECT_EQ(Run(c.name, DNS_TYPE_SOA, c.flags, &total), 0);
        EXPECT_EQ(total, 0u);
        EXPECT_EQ(QueriedNames(), c.tried) << c.name;
    }
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(QueryNameTest, WalkSkipsAnswersWithoutTheType) {
    fake::Answers[{L"x.example.com", DNS_TYPE_SOA}] = {
        0, {fake::Named(DNS_TYPE_CNAME, L"y.example.com")}};
    fake::Answers[{L"example.com", DNS_TYPE_SOA}] = {0, {fake::SOA(L"ns", L"admin", {})}};
    uint32_t total = 0;
    EXPECT_EQ(Run(L"x.example.com", DNS_TYPE_SOA, WalkUpParents, &total), 0);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(QueriedNames(), (Names{L"x.example.com", L"example.com"}));
}

} // namespace
