// Command routing, built-ins and batch files, with in-process stand-ins for plug-ins.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "host/CommandLine.h"
#include "host/HostState.h"
#include "host/Shell.h"
#include "platform/host/HostIo.h"
#include "platform/text/AsciiCase.h"
#include "sdk/CorvanePlugin.h"

namespace {

struct Call {
    std::wstring command;
    std::wstring arguments;
    std::wstring batchState; // "%_batch %_batchline" while the command ran
};
std::vector<Call> Calls;

int Record(const wchar_t* command, const wchar_t* arguments) {
    std::array<wchar_t, 1024> state{};
    std::wcscpy(state.data(), L"%_batch %_batchline");
    ExpandVariables(state.data(), 1);
    Calls.push_back({command, arguments, state.data()});
    return static_cast<int>(Calls.size());
}
int Alpha(const wchar_t* arguments) {
    return Record(L"alpha", arguments);
}
int Beta(const wchar_t* arguments) {
    return Record(L"beta", arguments);
}
int Negative(const wchar_t*) {
    return -1;
}
int HelpOnlyBeta(const wchar_t* name) {
    return std::wstring(name) == L"beta" ? 1 : 0;
}
int UsageBeta(const wchar_t* name, wchar_t* out) {
    if (std::wstring(name) != L"beta") return 0;
    std::wcscpy(out, L"BETA things\r\n");
    return 1;
}

PluginInfoRecord Info{L"Fake", L"", L"", L"", L"A fake", L"alpha,beta", 1, 2, 3, nullptr, nullptr};

class ShellTest : public testing::Test {
  protected:
    void SetUp() override {
        Calls.clear();
        LoadedPlugin plugin;
        plugin.info = &Info;
        plugin.commands = {{L"alpha", Alpha}, {L"beta", Beta}, {L"neg", Negative}};
        plugin.help = HelpOnlyBeta;
        plugin.usage = UsageBeta;
        shell.plugins.push_back(plugin);
        shell.write = [this](int fd, std::wstring_view text) { (fd == 1 ? out : err) += text; };
        HostUnsetEnv(L"CORVANE_SHELL_TEST");
    }
    void TearDown() override {
        while (CorvaneBatchLevel() > 0)
            CorvaneLeaveBatch();
        HostUnsetEnv(L"CORVANE_SHELL_TEST");
        HostUnsetEnv(L"corvane_shell_test");
    }
    Shell shell;
    std::wstring out, err;
};

TEST_F(ShellTest, RoutesCaseBlindWithArgumentsUnchanged) {
    struct Case {
        const wchar_t* line;
        const wchar_t* command;
        const wchar_t* arguments;
    } cases[] = {
        {L"alpha", L"alpha", L""},
        {L"ALPHA x", L"alpha", L"x"},
        {L"  Beta   \"quoted arg\"  %_batch  ", L"beta", L"\"quoted arg\"  %_batch  "},
        {L"alpha\t/N:C  *  name", L"alpha", L"/N:C  *  name"},
        {L"beta/?", L"beta", L"/?"},
    };
    for (const Case& c : cases) {
        Calls.clear();
        RunLine(shell, c.line);
        ASSERT_EQ(Calls.size(), 1u) << c.line;
        EXPECT_EQ(Calls[0].command, c.command);
        EXPECT_EQ(Calls[0].arguments, c.arguments) << c.line;
    }
    EXPECT_EQ(err, L"");
}

TEST_F(ShellTest, ExitCodeIsTheCommandsOwn) {
    EXPECT_EQ(RunLine(shell, L"neg"), -1);
    EXPECT_EQ(shell.lastCode, -1);
    EXPECT_EQ(RunLine(shell, L"alpha"), 1);
}

TEST_F(ShellTest, UnknownCommandGives127AndAMessage) {
    EXPECT_EQ(RunLine(shell, L"alphabet soup"), UnknownCommandCode);
    EXPECT_EQ(err, L"corvane: unknown command: alphabet\n");
    EXPECT_TRUE(Calls.empty());
}

TEST_F(ShellTest, BlankAndCommentLinesKeepTheLastCode) {
    RunLine(shell, L"neg");
    for (const wchar_t* line : {L"", L"   ", L"rem alpha", L"REM", L":: alpha", L"# alpha"})
        EXPECT_EQ(RunLine(shell, line), -1) << line;
    EXPECT_TRUE(Calls.empty());
}

TEST_F(ShellTest, SetChangesTheEnvironmentCaseBlind) {
    EXPECT_EQ(RunLine(shell, L"set CORVANE_SHELL_TEST=one two"), 0);
    std::wstring value;
    ASSERT_TRUE(HostGetEnv(L"CORVANE_SHELL_TEST", value));
    EXPECT_EQ(value, L"one two");
    RunLine(shell, L"set corvane_shell_test=three");
    // One variable, in the new spelling (the system may look names up case-blind itself).
    std::vector<std::wstring> spellings;
    for (auto& [name, text] : HostListEnv())
        if (SameName(name, L"CORVANE_SHELL_TEST")) spellings.push_back(name);
    EXPECT_EQ(spellings, std::vector<std::wstring>{L"corvane_shell_test"});
    ASSERT_TRUE(HostGetEnv(L"corvane_shell_test", value));
    EXPECT_EQ(value, L"three");
    RunLine(shell, L"set Corvane_Shell_Test");
    EXPECT_EQ(out, L"corvane_shell_test=three\n");
    RunLine(shell, L"set CORVANE_SHELL_TEST=");
    EXPECT_FALSE(HostGetEnv(L"corvane_shell_test", value));
    EXPECT_EQ(RunLine(shell, L"set CORVANE_SHELL_TEST"), 1);
    EXPECT_EQ(RunLine(shell, L"set =x"), 2);
}

TEST_F(ShellTest, SetListsVariables) {
    RunLine(shell, L"set CORVANE_SHELL_TEST=listed");
    RunLine(shell, L"set");
    EXPECT_NE(out.find(L"\nCORVANE_SHELL_TEST=listed\n"), std::wstring::npos);
}

TEST_F(ShellTest, EchoExpandsButPluginsDoNot) {
    RunLine(shell, L"set CORVANE_SHELL_TEST=v");
    RunLine(shell, L"echo [%CORVANE_SHELL_TEST] 100%%");
    EXPECT_EQ(out, L"[v] 100%\n");
    RunLine(shell, L"alpha %CORVANE_SHELL_TEST");
    EXPECT_EQ(Calls.back().arguments, L"%CORVANE_SHELL_TEST");
}

TEST_F(ShellTest, ExitTakesACodeOrTheLastOne) {
    RunLine(shell, L"neg");
    RunLine(shell, L"exit");
    EXPECT_TRUE(shell.exitRequested);
    EXPECT_EQ(shell.lastCode, -1);
    Shell other;
    other.write = shell.write;
    EXPECT_EQ(RunLine(other, L"EXIT 42"), 42);
    EXPECT_TRUE(other.exitRequested);
    Shell third;
    third.write = shell.write;
    EXPECT_EQ(RunLine(third, L"exit many"), 2);
    EXPECT_FALSE(third.exitRequested);
    EXPECT_EQ(err, L"corvane: exit: not a number: many\n");
}

TEST_F(ShellTest, HelpAsksPluginsThenBuiltins) {
    EXPECT_EQ(RunLine(shell, L"help beta"), 0);
    EXPECT_EQ(out, L""); // the plug-in showed it
    EXPECT_EQ(RunLine(shell, L"help SET"), 0);
    EXPECT_EQ(out.rfind(L"set [NAME[=VALUE]]", 0), 0u);
    EXPECT_EQ(RunLine(shell, L"help nothing"), 1);
    EXPECT_EQ(err, L"corvane: no help for nothing\n");
    out.clear();
    RunLine(shell, L"help");
    EXPECT_NE(out.find(L"Fake plug-in commands:\n  alpha beta neg\n"), std::wstring::npos);
}

TEST_F(ShellTest, UsagePrintsThePluginsText) {
    EXPECT_EQ(RunLine(shell, L"usage beta"), 0);
    EXPECT_EQ(out, L"BETA things\r\n");
    EXPECT_EQ(RunLine(shell, L"usage alpha"), 1);
    EXPECT_EQ(RunLine(shell, L"usage"), 2);
}

TEST_F(ShellTest, PluginsListsNameVersionDescription) {
    RunLine(shell, L"plugins");
    EXPECT_EQ(out, L"Fake 1.2.3  A fake\n");
}

TEST_F(ShellTest, ColorSetsTheHostsAttribute) {
    EXPECT_EQ(RunLine(shell, L"color bright yellow on blue"), 0);
    EXPECT_EQ(CorvaneGetColor(), 0x1E);
    EXPECT_EQ(RunLine(shell, L"color red"), 0); // background kept
    EXPECT_EQ(CorvaneGetColor(), 0x14);
    EXPECT_EQ(RunLine(shell, L"color blue"), 2); // same as the background
    EXPECT_EQ(RunLine(shell, L"color mauve"), 2);
    out.clear();
    RunLine(shell, L"color");
    EXPECT_EQ(out, L"red on blue\n");
    CorvaneSetColor(0x07);
}

TEST_F(ShellTest, BatchLinesCarryTheirNumbers) {
    std::vector<std::wstring> lines{L"alpha one", L"",    L"rem skipped",
                                    L"beta two",  L"# x", L"ALPHA three"};
    int code = RunBatchLines(shell, L"/b/file.btm", lines);
    ASSERT_EQ(Calls.size(), 3u);
    EXPECT_EQ(Calls[0].batchState, L"1 1");
    EXPECT_EQ(Calls[1].batchState, L"1 4");
    EXPECT_EQ(Calls[2].batchState, L"1 6");
    EXPECT_EQ(code, 3);
    EXPECT_EQ(CorvaneBatchLevel(), 0);
}

TEST_F(ShellTest, ExitEndsTheBatch) {
    std::vector<std::wstring> lines{L"alpha", L"exit 5", L"beta"};
    EXPECT_EQ(RunBatchLines(shell, L"/b/f", lines), 5);
    EXPECT_EQ(Calls.size(), 1u);
    EXPECT_EQ(CorvaneBatchLevel(), 0);
}

TEST_F(ShellTest, FailingLinesDoNotStopTheBatch) {
    std::vector<std::wstring> lines{L"neg", L"nosuch", L"alpha"};
    EXPECT_EQ(RunBatchLines(shell, L"/b/f", lines), 1);
    EXPECT_EQ(Calls.size(), 1u);
}

TEST_F(ShellTest, MissingBatchFileIsAnError) {
    EXPECT_EQ(RunLine(shell, L"call /nonexistent/dir/x.btm"), 1);
    EXPECT_EQ(err, L"corvane: cannot read batch file: /nonexistent/dir/x.btm\n");
}

TEST_F(ShellTest, NestingIsBounded) {
    for (int i = 0; i < MaxBatchNesting; ++i)
        CorvaneEnterBatch(L"/deep");
    EXPECT_EQ(RunBatchLines(shell, L"/one/more", {L"alpha"}), 1);
    EXPECT_TRUE(Calls.empty());
    EXPECT_EQ(CorvaneBatchLevel(), MaxBatchNesting);
}

TEST(CommandLine, SplitsNameAndArguments) {
    struct Case {
        const wchar_t* line;
        const wchar_t* name;
        const wchar_t* arguments;
    } cases[] = {
        {L"", L"", L""},
        {L"   ", L"", L""},
        {L"dns", L"dns", L""},
        {L"  dns  a  b ", L"dns", L"a  b "},
        {L"dns/?", L"dns", L"/?"},
        {L"/x y", L"/x", L"y"},
        {L"rdns\t\"1.2.3.4\"", L"rdns", L"\"1.2.3.4\""},
    };
    for (const Case& c : cases) {
        CommandParts parts = SplitCommand(c.line);
        EXPECT_EQ(parts.name, c.name) << c.line;
        EXPECT_EQ(parts.arguments, c.arguments) << c.line;
    }
}

TEST(CommandLine, SkipsBlankAndCommentLines) {
    for (const wchar_t* line : {L"", L" \t ", L"rem", L"Rem x", L"  REM", L"::x", L"#!/bin/x"})
        EXPECT_TRUE(IsSkippedLine(line)) << line;
    for (const wchar_t* line : {L"remark", L"dns", L": x", L"echo # not a comment"})
        EXPECT_FALSE(IsSkippedLine(line)) << line;
}

// corvane -c WORD...: what the words of corvane's own command line become.
TEST(CommandLine, WordsBecomeOneLine) {
    struct Case {
        std::vector<std::wstring> words;
        const wchar_t* line;
    } cases[] = {
        {{L"dns", L"/K", L"example.com"}, L"dns /K example.com"},
        {{L"showargs", L"a b", L"c\td"}, L"showargs \"a b\" \"c\td\""},
        {{L"x", L"say \"hi\""}, L"x \"say \"\"hi\"\"\""},
        {{L"x", L"\""}, L"x \"\"\"\""},
        {{L"x", L""}, L"x \"\""},
        {{L"b\u00fccher", L"%PATH%"}, L"b\u00fccher %PATH%"},
        {{L"one"}, L"one"},
        {{}, L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CommandLineFromWords(c.words), c.line);
}

TEST(CommandLine, SplitsFilesIntoLines) {
    EXPECT_EQ(SplitLines("a\r\nb\n\nc"), (std::vector<std::wstring>{L"a", L"b", L"", L"c"}));
    EXPECT_EQ(SplitLines("a\n"), (std::vector<std::wstring>{L"a"}));
    EXPECT_EQ(SplitLines("\xEF\xBB\xBF\xC3\xA9"), (std::vector<std::wstring>{L"\u00e9"}));
    EXPECT_TRUE(SplitLines("").empty());
}

} // namespace
