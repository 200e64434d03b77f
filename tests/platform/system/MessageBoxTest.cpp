// The terminal message box: what it writes, and that a key wait leaves the terminal as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/system/UserInterface.h"

namespace {

// Points a standard descriptor elsewhere for one test and puts it back afterwards.
class Redirect {
  public:
    Redirect(int fd, int to) : fd_(fd), saved_(dup(fd)) { dup2(to, fd); }
    ~Redirect() {
        dup2(saved_, fd_);
        close(saved_);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

  private:
    int fd_, saved_;
};

std::string ReadAll(FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

TEST(MessageBoxTest, WithoutATerminalOnlyPrints) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    int nothing = open("/dev/null", O_RDONLY);
    {
        std::fflush(stdout);
        Redirect in(STDIN_FILENO, nothing);
        Redirect redirected(STDOUT_FILENO, fileno(out));
        ShowMessageBox(L"DNS Plugin Help", L"First line.\r\n\nsecond \u2019 line\n");
    }
    close(nothing);
    EXPECT_EQ(ReadAll(out), "DNS Plugin Help\n\nFirst line.\n\nsecond \xe2\x80\x99 line\n");
    std::fclose(out);
}

TEST(MessageBoxTest, KeyWaitRestoresTheTerminal) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);

    termios before{};
    ASSERT_EQ(tcgetattr(terminal, &before), 0);
    ASSERT_NE(before.c_lflag & ICANON, 0u);

    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    // One key, with no line end: only a raw-mode read returns on it.
    ASSERT_EQ(write(master, "k", 1), 1);
    {
        std::fflush(stdout);
        Redirect in(STDIN_FILENO, terminal);
        Redirect redirected(STDOUT_FILENO, fileno(out));
        ShowMessageBox(L"Caption", L"Text");
    }
    termios after{};
    ASSERT_EQ(tcgetattr(terminal, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    EXPECT_EQ(ReadAll(out), "Caption\n\nText\nPress a key to continue...\n");

    std::fclose(out);
    close(terminal);
    close(master);
}

} // namespace
