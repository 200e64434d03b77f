// The POSIX console on a real pseudo-terminal: handles, window size, colour sequences, direct
// writes, key decoding, the key mode being restored, and Ctrl-C / Ctrl-Break as events.
// Everything that needs a controlling terminal runs in a child process started with forkpty.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/console/Console.h"
#include "platform/console/shared/ConsoleColor.h"
#include "platform/host/HostTerminal.h"

namespace {

struct ChildRun {
    std::string terminal;    // everything the child wrote to its terminal
    std::vector<int> report; // numbers the child sent over the report pipe
    int status = -1;         // waitpid status
    termios after{};         // terminal mode after the child ended
};

int ReportFd = -1;
void Report(int value) {
    if (write(ReportFd, &value, sizeof value) != sizeof value) _exit(90);
}

bool ReadMaster(int master, std::string& out, int timeoutMs) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[512];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) return false;
    out.append(buffer, static_cast<size_t>(n));
    return true;
}

// Runs body in a child whose controlling terminal is a new pty (24 rows, 80 columns). When
// input is given, it is sent once the child reported its first number (it is then ready), to
// the controlling terminal or to the master inputTo.
ChildRun RunOnTerminal(const std::function<void()>& body, const std::string& input = {},
                       int inputTo = -1) {
    ChildRun run;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return run;
    winsize size{24, 80, 0, 0};
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        close(pipeFds[0]);
        ReportFd = pipeFds[1];
        alarm(20);
        body();
        std::exit(0); // exit handlers run, as at the end of the host
    }
    close(pipeFds[1]);
    if (pid < 0) return run;

    bool sent = input.empty();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        pollfd fds[2] = {{pipeFds[0], POLLIN, 0}, {master, POLLIN, 0}};
        if (poll(fds, 2, 100) < 0) break;
        if (fds[0].revents & POLLIN) {
            int value;
            if (read(pipeFds[0], &value, sizeof value) == sizeof value) {
                run.report.push_back(value);
                if (!sent) {
                    int to = inputTo >= 0 ? inputTo : master;
                    if (write(to, input.data(), input.size()) < 0) break;
                    sent = true;
                }
            }
        }
        if (fds[1].revents & POLLIN) ReadMaster(master, run.terminal, 0);
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.status = status;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &run.status, 0);
            break;
        }
    }
    tcgetattr(master, &run.after); // the pair shares one mode
    while (ReadMaster(master, run.terminal, 50)) {
    }
    int value;
    while (read(pipeFds[0], &value, sizeof value) == sizeof value)
        run.report.push_back(value);
    close(pipeFds[0]);
    close(master);
    return run;
}

bool Cooked(const termios& mode) {
    return (mode.c_lflag & ICANON) && (mode.c_lflag & ECHO) && (mode.c_lflag & ISIG);
}

TEST(ConsoleHandles, AreFileDescriptorsPlusOne) {
    EXPECT_EQ(ConsoleStdOutput(), reinterpret_cast<ConsoleHandle>(2));
    EXPECT_EQ(ConsoleStdError(), reinterpret_cast<ConsoleHandle>(3));
}

TEST(ConsoleHandles, NonTerminalIsNoConsole) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ConsoleHandle handle = reinterpret_cast<ConsoleHandle>(intptr_t{fds[1]} + 1);
    uint32_t mode = 0;
    ConsoleScreenInfo info{};
    EXPECT_FALSE(ConsoleGetMode(handle, &mode));
    EXPECT_FALSE(ConsoleGetScreenInfo(handle, &info));
    EXPECT_FALSE(ConsoleSetAttribute(handle, 0x1E));
    EXPECT_FALSE(ConsoleGetMode(nullptr, &mode));
    close(fds[0]);
    close(fds[1]);
}

TEST(ConsoleHandles, PtyWindowSizeAndMode) {
    int master, slave;
    winsize size{37, 101, 0, 0};
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
    ConsoleHandle handle = reinterpret_cast<ConsoleHandle>(intptr_t{slave} + 1);
    uint32_t mode = 0xFFFFFFFF;
    EXPECT_TRUE(ConsoleGetMode(handle, &mode));
    EXPECT_NE(mode, 0xFFFFFFFFu);
    ConsoleScreenInfo info{};
    ASSERT_TRUE(ConsoleGetScreenInfo(handle, &info));
    EXPECT_EQ(info.Left, 0);
    EXPECT_EQ(info.Top, 0);
    EXPECT_EQ(info.Right, 100);
    EXPECT_EQ(info.Bottom, 36);
    EXPECT_EQ(info.Attributes, 0x07);
    close(master);
    close(slave);
}

TEST(ConsoleTerminal, ColourSequencesOnlyOnChange) {
    ChildRun run = RunOnTerminal([] {
        ConsoleHandle out = ConsoleStdOutput();
        ConsoleSetAttribute(out, 0x07); // the start value: nothing to emit
        ConsoleSetAttribute(out, 0x1E);
        ConsoleSetAttribute(out, 0x1E);
        ConsoleWriteDirect(L"x\u2500", 2);
        ConsoleSetAttribute(out, 0x0F);
        ConsoleSetAttribute(out, 0xC1);
        ConsoleSetAttribute(out, 0x70);
        ConsoleScreenInfo info{};
        ConsoleGetScreenInfo(out, &info);
        Report(info.Attributes);
        Report(info.Bottom);
        ConsoleSetAttribute(out, 0x07);
    });
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(run.terminal, "\x1b[0;93;44mx\xe2\x94\x80\x1b[0;97m\x1b[0;34;101m\x1b[0;30;47m"
                            "\x1b[0m");
    EXPECT_EQ(run.report, (std::vector<int>{0x70, 23}));
}

// The one mapping from attribute to terminal sequence.
TEST(ConsoleColour, SequencesOfTheMapping) {
    struct Case {
        uint16_t attribute;
        const char* sequence;
    } cases[] = {
        {0x07, "\x1b[0m"},       {0x0F, "\x1b[0;97m"},    {0x1F, "\x1b[0;97;44m"},
        {0x1B, "\x1b[0;96;44m"}, {0x70, "\x1b[0;30;47m"}, {0xC1, "\x1b[0;34;101m"},
        {0x00, "\x1b[0;30m"},    {0x17, "\x1b[0;44m"},    {0xFF, "\x1b[0;97;107m"},
        {0x1E, "\x1b[0;93;44m"}, {0x08, "\x1b[0;90m"},    {0x80, "\x1b[0;30;100m"},
    };
    for (const Case& c : cases) {
        char out[ConsoleColorSequenceSize];
        size_t length = ConsoleColorSequence(c.attribute, out);
        EXPECT_EQ(std::string(out, length), c.sequence) << std::hex << c.attribute;
    }
}

// Host and module put every attribute on the terminal with the same bytes, and each learns
// the colour the other one set.
TEST(ConsoleColour, HostAndModuleWriteTheSameSequences) {
    ChildRun run = RunOnTerminal([] {
        ConsoleHandle out = ConsoleStdOutput();
        for (int attribute = 0; attribute < 256; ++attribute) {
            int other = attribute ^ 0x10;
            ConsoleSetAttribute(out, static_cast<uint16_t>(other));
            ConsoleWriteDirect(L"|", 1);
            HostApplyColor(attribute);
            ConsoleWriteDirect(L"|", 1);
            HostApplyColor(other);
            ConsoleWriteDirect(L"|", 1);
            ConsoleSetAttribute(out, static_cast<uint16_t>(attribute));
            ConsoleWriteDirect(L"\n", 1);
        }
        HostApplyColor(0x1F);
        ConsoleScreenInfo info{};
        ConsoleGetScreenInfo(out, &info);
        Report(info.Attributes);
    });
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(run.report, std::vector<int>{0x1F});
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = run.terminal.find("\r\n", at)) != std::string::npos;
         at = end + 2)
        lines.push_back(run.terminal.substr(at, end - at));
    ASSERT_EQ(lines.size(), 256u);
    for (int attribute = 0; attribute < 256; ++attribute) {
        const std::string& line = lines[attribute];
        size_t first = line.find('|'), second = line.find('|', first + 1),
               third = line.find('|', second + 1);
        ASSERT_NE(third, std::string::npos) << line;
        std::string host = line.substr(first + 1, second - first - 1);
        std::string module = line.substr(third + 1);
        char out[ConsoleColorSequenceSize];
        EXPECT_EQ(host, std::string(out, ConsoleColorSequence(attribute, out))) << attribute;
        EXPECT_EQ(module, host) << attribute;
    }
}

// NO_COLOR (set to anything, empty too) and TERM=dumb: no colour sequence at all.
TEST(ConsoleColour, NoColourConventions) {
    struct Case {
        const char* name;
        const char* value;
    } cases[] = {{"NO_COLOR", "1"}, {"NO_COLOR", ""}, {"TERM", "dumb"}};
    for (const Case& c : cases) {
        ChildRun run = RunOnTerminal([&c] {
            setenv(c.name, c.value, 1);
            HostApplyColor(0x1F);
            ConsoleSetAttribute(ConsoleStdOutput(), 0x1E);
            ConsoleWriteDirect(L"x", 1);
            ConsoleScreenInfo info{};
            ConsoleGetScreenInfo(ConsoleStdOutput(), &info);
            Report(info.Attributes); // still the colour in force for the notice's choice
        });
        EXPECT_EQ(run.terminal, "x") << c.name << "=" << c.value;
        EXPECT_EQ(run.report, std::vector<int>{0x1E}) << c.name << "=" << c.value;
    }
}

TEST(ConsoleTerminal, ColourIsResetAtExit) {
    ChildRun run = RunOnTerminal([] { ConsoleSetAttribute(ConsoleStdOutput(), 0x0E); });
    EXPECT_EQ(run.terminal, "\x1b[0;93m\x1b[0m");
}

TEST(ConsoleTerminal, DirectWriteKeepsOrderWithBufferedStdout) {
    ChildRun run = RunOnTerminal([] {
        std::fputs("one ", stdout); // still in the stdio buffer
        ConsoleWriteDirect(L"two", 3);
    });
    EXPECT_EQ(run.terminal, "one two");
}

TEST(ConsoleTerminal, OpenedDeviceIsTheTerminal) {
    ChildRun run = RunOnTerminal([] {
        bool absent = true;
        ConsoleHandle device = ConsoleOpenOutput(&absent);
        Report(device != nullptr && !absent);
        uint32_t mode;
        Report(ConsoleGetMode(device, &mode));
        ConsoleClose(device);
    });
    EXPECT_EQ(run.report, (std::vector<int>{1, 1}));
}

TEST(ConsoleTerminal, WithoutATerminalNoConsoleCanExist) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) { // a new session: no controlling terminal, standard streams not terminals
        setsid();
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        bool absent = false;
        ConsoleHandle device = ConsoleOpenOutput(&absent);
        char result = device == nullptr && absent ? 'y' : 'n';
        _exit(write(fds[1], &result, 1) == 1 ? 0 : 1);
    }
    close(fds[1]);
    char result = 0;
    EXPECT_EQ(read(fds[0], &result, 1), 1);
    EXPECT_EQ(result, 'y');
    close(fds[0]);
    waitpid(pid, nullptr, 0);
}

// Reads keys until count codes arrived, reporting each, then the terminal mode.
void ReadKeys(int count) {
    ConsoleKeyHit(); // enters the key mode
    Report(-1);      // ready for input
    for (int i = 0; i < count; ++i) {
        while (!ConsoleKeyHit())
            usleep(1000);
        Report(ConsoleReadKey());
    }
    termios mode;
    tcgetattr(0, &mode);
    Report(Cooked(mode));
}

struct KeyCase {
    const char* name;
    std::string bytes;
    std::vector<int> codes;
};
class ConsoleKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ConsoleKeyTest, DecodesLikeTheConsole) {
    const KeyCase& c = GetParam();
    int count = static_cast<int>(c.codes.size());
    ChildRun run = RunOnTerminal([count] { ReadKeys(count); }, c.bytes);
    std::vector<int> expected = {-1};
    expected.insert(expected.end(), c.codes.begin(), c.codes.end());
    expected.push_back(1); // cooked again once the last code was read
    EXPECT_EQ(run.report, expected);
    EXPECT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(run.terminal, "") << "keys are not echoed";
    EXPECT_TRUE(Cooked(run.after));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ConsoleKeyTest,
    ::testing::Values(
        KeyCase{"Letter", "a", {'a'}}, KeyCase{"Enter", "\r", {13}}, KeyCase{"CtrlC", "\x03", {3}},
        // Ctrl-\ is Ctrl-Break on a terminal: with the signals off it breaks like Ctrl-C.
        KeyCase{"CtrlBackslash", "\x1c", {3}}, KeyCase{"LoneEscape", "\x1b", {27}},
        KeyCase{"Utf8", "\xc3\xa9\xe2\x94\x80", {0xE9, 0x2500}},
        KeyCase{"LetterLikePrefix", "\xc3\xa0", {0xE0, 0}},
        KeyCase{"BeyondTheBmp", "\xf0\x9d\x84\x9e", {0x1D11E}},
        // An overlong form is no character: the slash it spells would be one otherwise.
        KeyCase{"OverlongForms", "\xc0\xaf\xe0\x80\xaf", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
        KeyCase{"Arrows", "\x1b[A\x1b[B\x1b[D\x1bOC", {0xE0, 72, 0xE0, 80, 0xE0, 75, 0xE0, 77}},
        KeyCase{"ModifiedArrow", "\x1b[1;5A", {0xE0, 72}},
        KeyCase{"Paging", "\x1b[5~\x1b[6~", {0xE0, 73, 0xE0, 81}},
        KeyCase{"HomeEnd", "\x1b[H\x1b[F\x1b[1~\x1b[4~", {0xE0, 71, 0xE0, 79, 0xE0, 71, 0xE0, 79}},
        KeyCase{"InsertDelete", "\x1b[2~\x1b[3~", {0xE0, 82, 0xE0, 83}},
        KeyCase{"F1F4", "\x1bOP\x1bOS", {0, 59, 0, 62}},
        KeyCase{"F5F10", "\x1b[15~\x1b[21~", {0, 63, 0, 68}},
        KeyCase{"LinuxConsoleF1", "\x1b[[A", {0, 59}},
        KeyCase{"F11F12", "\x1b[23~\x1b[24~", {0xE0, 133, 0xE0, 134}},
        KeyCase{"UnknownSequence", "\x1b[99~", {0xE0, 0}},
        KeyCase{"AltLetter", "\x1bx", {27, 'x'}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConsoleTerminal, KeyModeIsLeftAtExitWithoutARead) {
    ChildRun run = RunOnTerminal([] {
        ConsoleKeyHit();
        termios mode;
        tcgetattr(0, &mode);
        Report(Cooked(mode));
    });
    EXPECT_EQ(run.report, std::vector<int>{0});
    EXPECT_TRUE(Cooked(run.after));
}

TEST(ConsoleTerminal, KeyModeIsLeftBeforeOutput) {
    ChildRun run = RunOnTerminal([] {
        ConsoleKeyHit();
        ConsoleWriteDirect(L"\r", 1);
        termios mode;
        tcgetattr(0, &mode);
        Report(Cooked(mode));
        _exit(0); // no exit handlers: the write itself restored the mode
    });
    EXPECT_EQ(run.report, std::vector<int>{1});
    EXPECT_TRUE(Cooked(run.after));
}

// ---- Console-control events ----
volatile sig_atomic_t LastEvent = -1;
int RecordEvent(uint32_t event) {
    LastEvent = static_cast<sig_atomic_t>(event);
    return 1;
}
int RefuseEvent(uint32_t) {
    return 0;
}

TEST(ConsoleTerminal, SignalsBecomeEventsAndPreviousActionsReturn) {
    ChildRun run = RunOnTerminal([] {
        signal(SIGINT, SIG_IGN);
        Report(ConsoleSetCtrlHandler(RecordEvent, true));
        raise(SIGINT);
        Report(LastEvent);
        raise(SIGQUIT);
        Report(LastEvent);
        Report(ConsoleSetCtrlHandler(RecordEvent, false));
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        Report(now.sa_handler == SIG_IGN);
        sigaction(SIGQUIT, nullptr, &now);
        Report(now.sa_handler == SIG_DFL);
        // Installed and removed again: the host's own action is still there afterwards.
        ConsoleSetCtrlHandler(RecordEvent, true);
        ConsoleSetCtrlHandler(RecordEvent, false);
        sigaction(SIGINT, nullptr, &now);
        Report(now.sa_handler == SIG_IGN);
    });
    EXPECT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(run.report, (std::vector<int>{1, 0, 1, 1, 1, 1, 1}));
}

TEST(ConsoleTerminal, CtrlCReadAsKeyWhileWaiting) {
    // With the handler installed and the key mode on, Ctrl-C arrives as the key 3, not as a
    // signal.
    ChildRun run = RunOnTerminal(
        [] {
            ConsoleSetCtrlHandler(RecordEvent, true);
            ReadKeys(1);
            Report(LastEvent);
        },
        "\x03");
    EXPECT_EQ(run.report, (std::vector<int>{-1, 3, 1, -1}));
}

// SIGTERM or SIGHUP while keys are awaited: the terminal gets its mode and colours back, then
// the process ends with the same signal.
TEST(ConsoleTerminal, EndingSignalsInKeyModeRestoreTheTerminal) {
    for (int sig : {SIGTERM, SIGHUP}) {
        ChildRun run = RunOnTerminal([sig] {
            ConsoleSetAttribute(ConsoleStdOutput(), 0x1E);
            ConsoleKeyHit(); // key mode on
            termios mode;
            tcgetattr(0, &mode);
            Report(Cooked(mode));
            raise(sig);
            Report(99); // not reached
        });
        ASSERT_TRUE(WIFSIGNALED(run.status)) << sig;
        EXPECT_EQ(WTERMSIG(run.status), sig);
        EXPECT_EQ(run.report, std::vector<int>{0}) << sig;
        EXPECT_TRUE(Cooked(run.after)) << sig;
        EXPECT_EQ(run.terminal, "\x1b[0;93;44m\x1b[0m") << sig;
    }
}

// Out of key mode the guard is gone: the previous actions are in place again.
TEST(ConsoleTerminal, GuardLeavesWithKeyMode) {
    ChildRun run = RunOnTerminal(
        [] {
            signal(SIGHUP, SIG_IGN);
            ReadKeys(1);
            struct sigaction now {};
            sigaction(SIGTERM, nullptr, &now);
            Report(now.sa_handler == SIG_DFL);
            sigaction(SIGHUP, nullptr, &now);
            Report(now.sa_handler == SIG_IGN);
        },
        "k");
    EXPECT_EQ(run.report, (std::vector<int>{-1, 'k', 1, 1, 1}));
}

// Standard output on another terminal than the controlling one, opened for writing only: the
// console is that terminal, for text and for keys.
TEST(ConsoleTerminal, ConsoleIsTheTerminalOfStandardOutput) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::string path = ttyname(slave);
    ChildRun run = RunOnTerminal(
        [&path, master, slave] {
            close(master);
            close(slave);
            int out = open(path.c_str(), O_WRONLY | O_NOCTTY);
            dup2(out, STDOUT_FILENO);
            close(out);
            ConsoleWriteDirect(L"text", 4);
            ConsoleSetAttribute(ConsoleStdOutput(), 0x1E);
            ConsoleKeyHit(); // key mode on the console's terminal
            Report(-1);      // ready for the key
            while (!ConsoleKeyHit())
                usleep(1000);
            Report(ConsoleReadKey());
            ConsoleSetAttribute(ConsoleStdOutput(), 0x07);
        },
        "q", master);
    std::string other;
    while (ReadMaster(master, other, 50)) {
    }
    termios after{};
    tcgetattr(master, &after);
    close(master);
    close(slave);
    EXPECT_EQ(run.report, (std::vector<int>{-1, 'q'}));
    EXPECT_EQ(run.terminal, "") << "nothing on the controlling terminal";
    EXPECT_EQ(other, "text\x1b[0;93;44m\x1b[0m");
    EXPECT_TRUE(Cooked(after));
}

TEST(ConsoleTerminal, UnhandledEventEndsProcessWithTerminalRestored) {
    ChildRun run = RunOnTerminal([] {
        ConsoleSetCtrlHandler(RefuseEvent, true);
        ConsoleKeyHit();
        raise(SIGINT);
        Report(99); // not reached
    });
    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(WTERMSIG(run.status), SIGINT);
    EXPECT_TRUE(run.report.empty());
    EXPECT_TRUE(Cooked(run.after));
}

} // namespace
