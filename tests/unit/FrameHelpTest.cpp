// Help texts, Help and Usage exports, the "/?" banner and the base-name rule.
#include <cwchar>
#include <string>

#include "dns/frame/BaseName.h"
#include "dns/frame/HelpTexts.h"
#include "dns/frame/Plugin.h"
#include "tests/fakes/FakeWorld.h"

namespace {

class HelpTest : public FakeWorldTest {};

TEST_F(HelpTest, TextsKeepTheirLineEndsAndTrailingBlanks) {
    std::wstring dns = DnsHelpText, rdns = RdnsHelpText, features = DisableFeaturesHelpText;
    EXPECT_EQ(dns.find(L"\r\n"), dns.find(L'\n') - 1) << "first line ends in CR LF";
    EXPECT_EQ(std::count(dns.begin(), dns.end(), L'\r'), 1);
    EXPECT_EQ(std::count(rdns.begin(), rdns.end(), L'\r'), 1);
    EXPECT_EQ(std::count(features.begin(), features.end(), L'\r'), 0);
    EXPECT_NE(dns.find(L"request info on \n\nYou must provide"), std::wstring::npos);
    EXPECT_NE(dns.find(L"one name.  If you \nspecify * for"), std::wstring::npos);
    EXPECT_NE(rdns.find(L"up.  If you do \nnot specify"), std::wstring::npos);
    EXPECT_NE(rdns.find(L"your system\u2019s \ndefault DNS servers.\n"), std::wstring::npos);
    EXPECT_EQ(features.substr(0, 28), L"DNS /N:  \u2014 disable features\n");
    EXPECT_EQ(dns.size(), 565u);
    EXPECT_EQ(rdns.size(), 245u);
    EXPECT_EQ(features.size(), 100u);
}

struct NameCase {
    const wchar_t* name;
    int command; // -1: none
};

const NameCase NameCases[] = {
    {L"dns", 0},   {L"DNS", 0},  {L"Dns", 0}, {L"rdns", 1}, {L"rDnS", 1},  {L"dn", -1},
    {L"dnsx", -1}, {L"rdn", -1}, {L"", -1},   {L"ns", -1},  {L"d ns", -1}, {L"dns ", -1},
};

class HelpNameTest : public FakeWorldTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(HelpNameTest, HelpShowsTheBox) {
    const NameCase& c = GetParam();
    EXPECT_EQ(Help(c.name), c.command >= 0 ? 1 : 0);
    if (c.command < 0) {
        EXPECT_TRUE(fake::MessageBoxes.empty());
        return;
    }
    ASSERT_EQ(fake::MessageBoxes.size(), 1u);
    EXPECT_EQ(fake::MessageBoxes[0].first, L"DNS Plugin Help");
    EXPECT_EQ(fake::MessageBoxes[0].second, CommandHelpTexts[c.command]);
    EXPECT_EQ(fake::Out, L"");
}

TEST_P(HelpNameTest, UsageFillsTheBuffer) {
    const NameCase& c = GetParam();
    wchar_t out[1024];
    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_EQ(Usage(c.name, out), c.command >= 0 ? 1 : 0);
    if (c.command < 0) {
        EXPECT_EQ(out[0], L'#') << "untouched";
        return;
    }
    const wchar_t* expected = c.command == 0 ? L"DNS /K /N: /P /S /W server name...\n\n\t/K\t"
                                             : L"RDNS /A: ipaddr...\n\n\t/A:\t";
    EXPECT_EQ(std::wcsncmp(out, expected, std::wcslen(expected)), 0);
    std::wstring help = CommandHelpTexts[c.command];
    EXPECT_EQ(help.substr(help.size() - std::wcslen(out)), out) << "the rest of the help";
}
INSTANTIATE_TEST_SUITE_P(Names, HelpNameTest, ::testing::ValuesIn(NameCases));

TEST_F(HelpTest, UsageRefusesHostNames) {
    for (const wchar_t* name : {L"@dns", L"_dns", L"@rdns", L"_RDNS"}) {
        wchar_t out[1024] = L"untouched";
        EXPECT_EQ(Usage(name, out), 0);
        EXPECT_STREQ(out, L"untouched");
    }
    EXPECT_EQ(Usage(nullptr, nullptr), 0);
}

TEST_F(HelpTest, CommandHelpWithoutBanner) {
    EXPECT_EQ(PrintCommandHelp(L"some help\n", 0), 0);
    EXPECT_EQ(fake::Out, L"some help\n");
}

TEST_F(HelpTest, CommandHelpWithBanner) {
    EXPECT_EQ(PrintCommandHelp(L"some help\n", 1), 0);
    EXPECT_EQ(fake::Out, L"some help\n"
                         L"\r\n\t\t\t\tDNS  1.0.9.2 (x64)\r\n"
                         L"\t\t\t\tDnsCmd.cpp  1.0.9.1\r\n");
}

struct PathCase {
    const wchar_t* path;
    const wchar_t* base;
};
class BaseNameTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(BaseNameTest, AfterTheLastSeparator) {
    EXPECT_STREQ(SourceBaseName(GetParam().path), GetParam().base);
}
INSTANTIATE_TEST_SUITE_P(
    Paths, BaseNameTest,
    ::testing::Values(PathCase{L"/work/main/dns/lookup/DnsCmd.cpp", L"DnsCmd.cpp"},
                      PathCase{L"C:\\src\\dns\\DnsCmd.cpp", L"DnsCmd.cpp"},
                      PathCase{L"C:DnsCmd.cpp", L"DnsCmd.cpp"},
                      PathCase{L"src/a:b.cpp", L"a:b.cpp"}, PathCase{L"DnsCmd.cpp", L"DnsCmd.cpp"},
                      PathCase{L"dir/", L""}, PathCase{L"", L""}));

} // namespace
