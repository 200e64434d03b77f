// The console on a POSIX system is a terminal: the one standard output is, so that output run
// in a new session or sent to another terminal still reaches the screen it is meant for, else
// the controlling terminal, so that the break notice reaches the user when output goes to a
// file.
#include "platform/console/shared/ConsoleTerminalPosix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int ControllingTerminal() {
    static int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd;
}

// The device of a write-only terminal, opened for reading; kept while that terminal is the
// console.
int ReadableCopy = -1;
dev_t ReadableCopyDevice = 0;

int OpenForReading(int fd) {
    struct stat terminal {};
    if (fstat(fd, &terminal) != 0) return -1;
    if (ReadableCopy >= 0 && ReadableCopyDevice == terminal.st_rdev) return ReadableCopy;
    if (ReadableCopy >= 0) close(ReadableCopy);
    ReadableCopy = -1;
    char path[256];
    if (ttyname_r(fd, path, sizeof path) != 0) return -1;
    int copy = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat opened {};
    if (copy >= 0 && (fstat(copy, &opened) != 0 || opened.st_rdev != terminal.st_rdev)) {
        close(copy); // the name led elsewhere (another mount namespace, a renamed device)
        copy = -1;
    }
    if (copy >= 0) {
        ReadableCopy = copy;
        ReadableCopyDevice = terminal.st_rdev;
    }
    return copy;
}

} // namespace

int ConsoleTerminalFd() {
    if (isatty(STDOUT_FILENO) == 1) return STDOUT_FILENO;
    return ControllingTerminal();
}

int ConsoleKeyboardFd() {
    int fd = ConsoleTerminalFd();
    if (fd < 0) return -1;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return -1;
    if ((flags & O_ACCMODE) != O_WRONLY) return fd;
    return OpenForReading(fd);
}

bool ConsoleWriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
