// Failed queries are reported, never shown as a name without records: which statuses are
// failures, how a name's failures are worded, which queries of the SOA walk count, and the exit
// code, pipelined and one at a time alike.
#include <string>

#include "dns/frame/Plugin.h"
#include "dns/lookup/LookupOrder.h"
#include "dns/lookup/QueryFailures.h"
#include "tests/fakes/FakeWorld.h"

namespace {

constexpr uint16_t A = 1, SOA = 6, MX = 15, TXT = 16, LOC = 29;

struct StatusCase {
    DNS_STATUS status;
    bool failure;
};
constexpr StatusCase StatusCases[] = {
    {0, false},   {9003, false}, {9501, false}, {9001, true},  {9002, true},  {9004, true},
    {9005, true}, {9502, true},  {1460, true},  {10061, true}, {10065, true}, {123, true},
};

TEST(QueryFailures, OnlyStatusesThatSayNothingAboutTheNameAreFailures) {
    for (const StatusCase& c : StatusCases)
        EXPECT_EQ(IsQueryFailure(c.status), c.failure) << c.status;
}

class QueryFailuresTest : public FakeWorldTest {
  protected:
    void SetUp() override {
        FakeWorldTest::SetUp();
        fake::MessageTexts[9002] = L"DNS server failure.\r\n";
        fake::MessageTexts[9004] = L"DNS request not supported by name server.\r\n";
    }
    // Exit code, standard output and standard error of one command, in both orders of asking.
    std::wstring Run(const wchar_t* line, bool oneAtATime) {
        if (oneAtATime)
            fake::Environment[OneAtATimeVariable] = L"1";
        else
            fake::Environment.erase(OneAtATimeVariable);
        fake::Screen.clear();
        fake::Err.clear();
        int code = dns(line);
        return std::to_wstring(code) + L"|" + fake::Screen + L"|" + fake::Err;
    }
    void ExpectBothOrders(const wchar_t* line, int code, const std::wstring& err) {
        for (bool oneAtATime : {true, false}) {
            std::wstring run = Run(line, oneAtATime);
            EXPECT_EQ(run.substr(0, run.find(L'|')), std::to_wstring(code)) << oneAtATime;
            EXPECT_EQ(fake::Err, err) << oneAtATime;
            EXPECT_EQ(fake::OpenResultLists, 0);
        }
    }
};

TEST_F(QueryFailuresTest, TypesFailingForOneReasonShareALine) {
    fake::Answers[{L"a.test", A}] = {0, {fake::A("192.0.2.1")}};
    fake::Answers[{L"a.test", MX}] = {9002, {}};
    fake::Answers[{L"a.test", TXT}] = {9002, {}};
    fake::Answers[{L"a.test", LOC}] = {9004, {}};
    ExpectBothOrders(L"a.test", 2,
                     L"DNS plugin: Error looking up MX, TXT for \"A.TEST\": DNS server failure.\r\n"
                     L"DNS plugin: Error looking up LOC for \"A.TEST\": DNS request not "
                     L"supported by name server.\r\n");
    EXPECT_NE(fake::Screen.find(L"192.0.2.1"), std::wstring::npos) << "what came is shown";
}

TEST_F(QueryFailuresTest, ANameWhoseQueriesAllFailStillSaysNoRecords) {
    for (uint16_t type : {uint16_t(1), uint16_t(28), uint16_t(5), uint16_t(2), SOA, MX, TXT, LOC})
        fake::Answers[{L"down.test", type}] = {1460, {}};
    Run(L"down.test", false);
    EXPECT_NE(fake::Screen.find(L"No records found."), std::wstring::npos);
    EXPECT_NE(fake::Err.find(L"Error looking up A, AAAA, CNAME, NS, SOA, MX, TXT, LOC for "
                             L"\"DOWN.TEST\""),
              std::wstring::npos);
}

TEST_F(QueryFailuresTest, AParentSoaThatWasNotNeededNeverFails) {
    fake::Answers[{L"zone.example.test", SOA}] = {0, {fake::SOA(L"ns", L"h", {1})}};
    fake::Answers[{L"example.test", SOA}] = {9002, {}};
    ExpectBothOrders(L"zone.example.test", 0, L"");
}

TEST_F(QueryFailuresTest, AFailedSoaTheWalkAskedFailsTheNameEvenWhenAParentAnswers) {
    fake::Answers[{L"host.example.test", SOA}] = {9002, {}};
    fake::Answers[{L"example.test", SOA}] = {0, {fake::SOA(L"ns", L"h", {1})}};
    ExpectBothOrders(L"host.example.test", 2,
                     L"DNS plugin: Error looking up SOA for \"HOST.EXAMPLE.TEST\": DNS server "
                     L"failure.\r\n");
}

TEST_F(QueryFailuresTest, AnyFailedNameGivesExitCodeTwoAndEachNameItsOwnLines) {
    fake::Answers[{L"bad.test", A}] = {9002, {}};
    fake::Answers[{L"good.test", A}] = {0, {fake::A("192.0.2.1")}};
    ExpectBothOrders(L"* bad.test good.test", 2,
                     L"DNS plugin: Error looking up A for \"BAD.TEST\": DNS server failure.\r\n");
    EXPECT_LT(fake::Screen.find(L"BAD.TEST"), fake::Screen.find(L"GOOD.TEST"));
}

TEST_F(QueryFailuresTest, EachStatusOnceEvenWhenTheWalkFailsTwice) {
    NameFailures failures;
    NoteQueryOutcome(&failures, SOA, 1460);
    NoteQueryOutcome(&failures, SOA, 1460);
    NoteQueryOutcome(&failures, A, 0);
    NoteQueryOutcome(&failures, A, 9003);
    EXPECT_EQ(failures.count, 1u);
    for (int i = 0; i < 40; ++i) // more than the record holds: nothing is written past it
        NoteQueryOutcome(&failures, uint16_t(100 + i), 9002);
    EXPECT_EQ(failures.count, failures.items.size());
}

} // namespace
