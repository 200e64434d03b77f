// The plug-in's description, start-up, shut-down, break handler and _clver$.
#include <string>

#include "dns/frame/Plugin.h"
#include "tests/fakes/FakeWorld.h"

namespace {

class PluginTest : public FakeWorldTest {
  protected:
    void TearDown() override { ShutdownPlugin(); }
};

TEST_F(PluginTest, DescriptionIsTheSameRecordEveryTime) {
    PluginInfoRecord* first = GetPluginInfo();
    first->VersionBuild = 0; // a host that scribbles on it gets the values back next time
    PluginInfoRecord* second = GetPluginInfo();
    ASSERT_EQ(first, second);
    EXPECT_STREQ(second->ModuleName, L"DNS");
    EXPECT_STREQ(second->Description, L"Replacement for the DNS command");
    EXPECT_STREQ(second->CommandList, L"dns,rdns");
    EXPECT_EQ(second->VersionMajor, 1);
    EXPECT_EQ(second->VersionMinor, 0);
    EXPECT_EQ(second->VersionBuild, 9);
    EXPECT_NE(second->AuthorName, nullptr);
    EXPECT_NE(second->AuthorEmail, nullptr);
    EXPECT_NE(second->AuthorWebPage, nullptr);
    EXPECT_EQ(second->Reserved1, nullptr);
    EXPECT_EQ(second->Reserved2, nullptr);
}

struct LoadMessageCase {
    const wchar_t* transient;
    const wchar_t* pipe;
    const wchar_t* noloadmsg; // null: undefined
    bool shown;
};

class LoadMessageTest : public PluginTest, public ::testing::WithParamInterface<LoadMessageCase> {};

TEST_P(LoadMessageTest, OnlyForTheExpansion00) {
    const LoadMessageCase& c = GetParam();
    fake::Variables[L"_transient"] = c.transient;
    fake::Variables[L"_pipe"] = c.pipe;
    if (c.noloadmsg != nullptr)
        fake::Variables[L"noloadmsg"] = c.noloadmsg;
    else
        fake::Variables.erase(L"noloadmsg");

    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(fake::Out, c.shown ? L"DNS v1.0.9 loaded.\r\n" : L"");
    EXPECT_EQ(fake::Err, L"");
}

const LoadMessageCase LoadMessageCases[] = {
    {L"0", L"0", nullptr, true}, {L"0", L"0", L"", true},      {L"00", L"", L"", true},
    {L"0", L"0", L"0", false},   {L"0", L"1", nullptr, false}, {L"1", L"0", nullptr, false},
    {L"0", L"", nullptr, false}, {L"0", L"0", L"x", false},    {L"0", L"0", L" ", false},
    {L"", L"", nullptr, false},
};
INSTANTIATE_TEST_SUITE_P(Variables, LoadMessageTest, ::testing::ValuesIn(LoadMessageCases));

TEST_F(PluginTest, OpensTheConsoleAtOnce) {
    InitializePlugin();
    EXPECT_NE(ConsoleOutputHandle, nullptr);
    EXPECT_EQ(fake::Ticks, 1000u) << "no retry delay";
}

TEST_F(PluginTest, RetriesOnceAfter50Milliseconds) {
    fake::ConsoleDeviceOpens = false;
    int sleeps = 0;
    fake::OnSleep = [&] {
        ++sleeps;
        fake::ConsoleDeviceOpens = true;
    };
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_NE(ConsoleOutputHandle, nullptr);
    EXPECT_EQ(sleeps, 1);
    EXPECT_EQ(fake::Ticks, 1050u);
}

TEST_F(PluginTest, NoConsoleLeavesTheHandleNull) {
    fake::ConsoleDeviceOpens = false;
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(ConsoleOutputHandle, nullptr);
    EXPECT_EQ(fake::Ticks, 1050u);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(PluginTest, NoWaitWhereNoConsoleCanExist) {
    fake::ConsoleDeviceOpens = false;
    fake::ConsoleAbsent = true;
    fake::OnSleep = [] { ADD_FAILURE() << "slept for a console that cannot exist"; };
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(ConsoleOutputHandle, nullptr);
    EXPECT_EQ(fake::Ticks, 1000u);
}

TEST_F(PluginTest, ShutdownWithoutACommandLeavesTheCtrlHandlerAlone) {
    InitializePlugin();
    BreakFlag = 1;
    EXPECT_EQ(ShutdownPlugin(), 0);
    EXPECT_EQ(fake::CtrlHandlerCalls, 0);
    EXPECT_EQ(BreakFlag.load(), 0);
    EXPECT_EQ(ConsoleOutputHandle, nullptr);
}

TEST_F(PluginTest, ShutdownRemovesAnInstalledHandler) {
    InstallBreakHandler();
    ASSERT_EQ(CtrlHandlerInstalled, 1);
    EXPECT_EQ(ShutdownPlugin(), 0);
    EXPECT_EQ(CtrlHandlerInstalled, 0);
    EXPECT_EQ(fake::CtrlHandler, nullptr);
    EXPECT_EQ(fake::CtrlHandlerCalls, 2);
}

TEST_F(PluginTest, HandlerIsRegisteredOnceAndRemovedOnce) {
    BreakFlag = 1;
    InstallBreakHandler();
    EXPECT_EQ(BreakFlag.load(), 0);
    InstallBreakHandler();
    EXPECT_EQ(fake::CtrlHandlerCalls, 1);
    EXPECT_EQ(fake::CtrlHandler, &BreakHandler);

    BreakFlag = 1;
    RemoveBreakHandler();
    RemoveBreakHandler();
    EXPECT_EQ(BreakFlag.load(), 0);
    EXPECT_EQ(fake::CtrlHandlerCalls, 2);
    EXPECT_EQ(fake::CtrlHandler, nullptr);
    EXPECT_EQ(CtrlHandlerInstalled, 0);
}

struct EventCase {
    uint32_t event;
    int handled;
};
class BreakHandlerTest : public PluginTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(BreakHandlerTest, ConsumesOnlyCtrlCAndCtrlBreak) {
    BreakFlag = 0;
    EXPECT_EQ(BreakHandler(GetParam().event), GetParam().handled);
    EXPECT_EQ(BreakFlag.load(), GetParam().handled);
}
INSTANTIATE_TEST_SUITE_P(Events, BreakHandlerTest,
                         ::testing::Values(EventCase{0, 1}, EventCase{1, 1}, EventCase{2, 0},
                                           EventCase{5, 0}, EventCase{6, 0}));

TEST_F(PluginTest, ClverFillsTheBuffer) {
    wchar_t buffer[1024];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(_clver$(buffer), 0);
    EXPECT_STREQ(buffer, L"1.1.1.2");
    EXPECT_EQ(_clver$(nullptr), -1);
}

} // namespace
