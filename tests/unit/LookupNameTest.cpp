// Per-name output: name line, column header, query order, PTR for reverse names, closing line.
#include <string>
#include <vector>

#include "dns/frame/Plugin.h"
#include "dns/lookup/LookupFlags.h"
#include "dns/lookup/LookupName.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"

namespace {

const std::wstring ColumnTitles = L"Type    Field       Value\r\n";
const std::wstring BoxUnderline = std::wstring(35, L'\u2500') + L"\r\n";
const std::wstring AsciiUnderline = std::wstring(35, L'-') + L"\r\n";

class LookupNameTest : public FakeWorldTest {
  protected:
    void SetUp() override {
        FakeWorldTest::SetUp(); // also clears the pager, colour slots and break flag
        fake::SystemTime = 133000000000000000ull;
    }
    void TearDown() override { EXPECT_EQ(fake::OpenResultLists, 0); }

    // The record types queried, in order, with the SOA walk's repeats folded.
    static std::vector<uint16_t> QueriedTypes() {
        std::vector<uint16_t> types;
        for (const fake::Query& q : fake::Queries)
            if (types.empty() || types.back() != q.type) types.push_back(q.type);
        return types;
    }

    // The page prompt waits here for a key; the user takes `ms` before pressing "A" (paging
    // off), so the elapsed time is known.
    static void UserWaitsAtPrompt(uint64_t ms) {
        PageLines = LinesLeft = 1;
        fake::OnSleep = [ms] {
            if (!fake::Keys.empty()) return;
            fake::SystemTime += ms * 10000 - 100000; // the sleep itself added 10 ms
            fake::Keys.push_back(L'A');
        };
    }
};

using Types = std::vector<uint16_t>;

TEST_F(LookupNameTest, RejectsMissingName) {
    EXPECT_EQ(LookupName(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(LookupName(nullptr, L"", ShowSummary, 0), -1);
    EXPECT_TRUE(fake::Queries.empty());
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(LookupNameTest, QueriesTypesInFixedOrder) {
    fake::Answers[{L"example.com", DNS_TYPE_SOA}] = {0, {fake::SOA(L"ns", L"admin", {})}};
    EXPECT_EQ(LookupName(nullptr, L"example.com", NoHeaders, 0), 0);
    EXPECT_EQ(QueriedTypes(), (Types{DNS_TYPE_A, DNS_TYPE_AAAA, DNS_TYPE_CNAME, DNS_TYPE_NS,
                                     DNS_TYPE_SOA, DNS_TYPE_MX, DNS_TYPE_TEXT, DNS_TYPE_LOC}));
    for (const fake::Query& q : fake::Queries)
        EXPECT_EQ(q.options, 0x48u);
}

TEST_F(LookupNameTest, OnlySoaWalksUp) {
    EXPECT_EQ(LookupName(nullptr, L"www.example.com", NoHeaders, 0), 0);
    std::vector<std::pair<std::wstring, uint16_t>> seen;
    for (const fake::Query& q : fake::Queries)
        seen.emplace_back(q.name, q.type);
    EXPECT_EQ(seen,
              (std::vector<std::pair<std::wstring, uint16_t>>{{L"www.example.com", DNS_TYPE_A},
                                                              {L"www.example.com", DNS_TYPE_AAAA},
                                                              {L"www.example.com", DNS_TYPE_CNAME},
                                                              {L"www.example.com", DNS_TYPE_NS},
                                                              {L"www.example.com", DNS_TYPE_SOA},
                                                              {L"example.com", DNS_TYPE_SOA},
                                                              {L"www.example.com", DNS_TYPE_MX},
                                                              {L"www.example.com", DNS_TYPE_TEXT},
                                                              {L"www.example.com", DNS_TYPE_LOC}}));
}

TEST_F(LookupNameTest, PtrOnlyForArpaNames) {
    const Types forward{DNS_TYPE_A,   DNS_TYPE_AAAA, DNS_TYPE_CNAME, DNS_TYPE_NS,
                        DNS_TYPE_SOA, DNS_TYPE_MX,   DNS_TYPE_TEXT,  DNS_TYPE_LOC};
    const Types reverse{DNS_TYPE_A,   DNS_TYPE_AAAA, DNS_TYPE_CNAME, DNS_TYPE_NS, DNS_TYPE_SOA,
                        DNS_TYPE_PTR, DNS_TYPE_MX,   DNS_TYPE_TEXT,  DNS_TYPE_LOC};
    struct Case {
        const wchar_t* name;
        const Types& types;
    } cases[] = {
        {L"1.2.0.192.in-addr.arpa", reverse},
        {L"x.arpa", reverse},
        {L"1.2.0.192.IN-ADDR.ARPA", forward},
        {L"1.2.0.192.in-addr.arpa.", forward},
        {L"arpa", forward},
        {L"x.arpanet", forward},
    };
    for (const Case& c : cases) {
        fake::Queries.clear();
        LookupName(nullptr, c.name, NoHeaders, 0);
        EXPECT_EQ(QueriedTypes(), c.types) << c.name;
    }
}

TEST_F(LookupNameTest, FullLayoutWithSummary) {
    fake::Answers[{L"www.Example.com", DNS_TYPE_A}] = {0, {fake::A("192.0.2.1")}};
    fake::Answers[{L"www.Example.com", DNS_TYPE_MX}] = {0, {fake::MX(5, L"mx.example.com")}};
    EXPECT_EQ(LookupName(nullptr, L"www.Example.com", ShowSummary, 0), 0);
    EXPECT_EQ(fake::Out, L"\r\nWWW.EXAMPLE.COM\r\n\r\n" + ColumnTitles + BoxUnderline +
                             L"A       ADDRESS     192.0.2.1\r\n"
                             L"MX      PREFERENCE  5\r\n"
                             L"        EXCHANGE    mx.example.com\r\n"
                             L"\r\n  2 records found   0:00.000\r\n");
}

TEST_F(LookupNameTest, NameLineUpperCasesOnlyAsciiLetters) {
    EXPECT_EQ(LookupName(nullptr, L"\u00e9t\u00e9-x_1.example", AsciiOnly, 0), 0);
    EXPECT_EQ(fake::Out, L"\r\n\u00e9T\u00e9-X_1.EXAMPLE\r\n\r\n" + ColumnTitles + AsciiUnderline +
                             L"\r\nNo records found.\r\n");
}

TEST_F(LookupNameTest, LongNameIsCutInNameLineOnly) {
    const std::wstring name(1500, L'a');
    LookupName(nullptr, name.c_str(), 0, 0);
    EXPECT_EQ(fake::Out.substr(0, 2 + 1023 + 2), L"\r\n" + std::wstring(1023, L'A') + L"\r\n");
    ASSERT_FALSE(fake::Queries.empty());
    EXPECT_EQ(fake::Queries[0].name, name);
}

TEST_F(LookupNameTest, HeaderVariants) {
    fake::Answers[{L"example.com", DNS_TYPE_NS}] = {0,
                                                    {fake::Named(DNS_TYPE_NS, L"ns.example.com")}};
    const std::wstring record = L"NS      DNAME       ns.example.com\r\n";
    struct Case {
        uint32_t flags;
        std::wstring out;
    } cases[] = {
        {NoNameLine, L"\r\n" + ColumnTitles + BoxUnderline + record},
        {NoNameLine | AsciiOnly, L"\r\n" + ColumnTitles + AsciiUnderline + record},
        {NoHeaders, record},
        {NoHeaders | NoNameLine, record},
    };
    for (const Case& c : cases) {
        fake::Out.clear();
        EXPECT_EQ(LookupName(nullptr, L"example.com", c.flags, 0), 0);
        EXPECT_EQ(fake::Out, c.out) << c.flags;
    }
}

TEST_F(LookupNameTest, NoRecordsFoundWithOrWithoutSummary) {
    for (uint32_t flags : {NoHeaders, NoHeaders | ShowSummary}) {
        fake::Out.clear();
        EXPECT_EQ(LookupName(nullptr, L"nothing.example", flags, 0), 0);
        EXPECT_EQ(fake::Out, L"\r\nNo records found.\r\n");
    }
}

TEST_F(LookupNameTest, EmptyTxtCountsAsRecord) {
    fake::Answers[{L"t.example", DNS_TYPE_TEXT}] = {0, {fake::TXT({})}};
    EXPECT_EQ(LookupName(nullptr, L"t.example", NoHeaders | ShowSummary, 0), 0);
    EXPECT_EQ(fake::Out, L"\r\n  1 record  found   0:00.000\r\n");
}

TEST_F(LookupNameTest, SummaryCountsAcrossTypes) {
    fake::Answers[{L"x.example", DNS_TYPE_A}] = {0, {fake::A("192.0.2.1"), fake::A("192.0.2.2")}};
    fake::Answers[{L"x.example", DNS_TYPE_TEXT}] = {0, {fake::TXT({L"v=1"})}};
    EXPECT_EQ(LookupName(nullptr, L"x.example", NoHeaders | ShowSummary, 0), 0);
    EXPECT_TRUE(fake::Out.ends_with(L"\r\n  3 records found   0:00.000\r\n")) << fake::Out;
}

TEST_F(LookupNameTest, WithoutSummaryNoClosingLine) {
    fake::Answers[{L"x.example", DNS_TYPE_A}] = {0, {fake::A("192.0.2.1")}};
    EXPECT_EQ(LookupName(nullptr, L"x.example", NoHeaders, 0), 0);
    EXPECT_EQ(fake::Out, L"A       ADDRESS     192.0.2.1\r\n");
}

TEST_F(LookupNameTest, ElapsedTimeIncludesPromptWait) {
    struct Case {
        uint64_t ms;
        const wchar_t* text;
    } cases[] = {
        {12345, L"0:12.345"},
        {1, L"0:00.001"},
        {3665007, L"61:05.007"},
    };
    for (const Case& c : cases) {
        fake::Reset();
        fake::Answers[{L"x.example", DNS_TYPE_A}] = {0, {fake::A("192.0.2.1")}};
        UserWaitsAtPrompt(c.ms);
        EXPECT_EQ(LookupName(nullptr, L"x.example", NoHeaders | ShowSummary, 0), 0);
        EXPECT_EQ(fake::Out, std::wstring(L"A       ADDRESS     192.0.2.1\r\n"
                                          L"\r\n  1 record  found   ") +
                                 c.text + L"\r\n");
    }
}

TEST_F(LookupNameTest, BreakInHeaderStopsBeforeQueries) {
    for (uint32_t flags : {0u, NoNameLine}) {
        fake::Queries.clear();
        BreakFlag = 1;
        EXPECT_EQ(LookupName(nullptr, L"example.com", flags | ShowSummary, 0), -3);
        EXPECT_TRUE(fake::Queries.empty());
        EXPECT_EQ(fake::Out.find(L"Type"), std::wstring::npos);
    }
}

TEST_F(LookupNameTest, BreakInRecordsStopsRemainingTypes) {
    fake::Answers[{L"x.example", DNS_TYPE_A}] = {0, {fake::A("192.0.2.1"), fake::A("192.0.2.2")}};
    PageLines = LinesLeft = 1;
    fake::Keys = {27};
    EXPECT_EQ(LookupName(nullptr, L"x.example", NoHeaders | ShowSummary, 0), -3);
    EXPECT_EQ(QueriedTypes(), (Types{DNS_TYPE_A}));
    EXPECT_EQ(fake::Out, L"A       ADDRESS     192.0.2.1\r\n");
}

} // namespace
