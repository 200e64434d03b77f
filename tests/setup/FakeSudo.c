// A stand-in for sudo in the quick-start test. Made setuid root on a file system that only the
// test's private mount namespace sees, it notes its command line in FAKE_SUDO_LOG, resets the
// environment as sudo does (a fixed PATH, HOME=/root, SUDO_UID and friends) and runs the
// command as root.
#define _GNU_SOURCE
#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int first = argc > 1 && strcmp(argv[1], "--") == 0 ? 2 : 1;
    if (first >= argc) {
        fprintf(stderr, "sudo: no command\n");
        return 1;
    }
    const char* log = getenv("FAKE_SUDO_LOG");
    if (log != NULL) {
        FILE* file = fopen(log, "a");
        if (file != NULL) {
            for (int i = first; i < argc; ++i)
                fprintf(file, "%s%s", i > first ? " " : "", argv[i]);
            fputc('\n', file);
            fclose(file);
        }
    }
    char uid[32], gid[32], term[256] = "";
    snprintf(uid, sizeof uid, "%u", (unsigned)getuid());
    snprintf(gid, sizeof gid, "%u", (unsigned)getgid());
    if (getenv("TERM") != NULL) snprintf(term, sizeof term, "%s", getenv("TERM"));
    const struct passwd* user = getpwuid(getuid());
    char name[256];
    snprintf(name, sizeof name, "%s", user != NULL ? user->pw_name : uid);

    if (setgroups(0, NULL) != 0 || setgid(0) != 0 || setuid(0) != 0) {
        perror("sudo: cannot become root");
        return 1;
    }
    clearenv();
    setenv("PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", 1);
    setenv("HOME", "/root", 1);
    setenv("USER", "root", 1);
    setenv("LOGNAME", "root", 1);
    setenv("SUDO_UID", uid, 1);
    setenv("SUDO_GID", gid, 1);
    setenv("SUDO_USER", name, 1);
    setenv("SUDO_COMMAND", argv[first], 1);
    if (term[0] != '\0') setenv("TERM", term, 1);
    execvp(argv[first], argv + first);
    perror("sudo");
    return 127;
}
