#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "platform/host/HostIo.h"
#include "platform/host/ReadLine.h"
#include "platform/text/Text.h"

extern char** environ;

bool HostWrite(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int HostHandleToDescriptor(void* handle) {
    intptr_t fd = reinterpret_cast<intptr_t>(handle) - 1;
    return fd == 1 || fd == 2 ? static_cast<int>(fd) : 2;
}

std::vector<std::wstring> HostArguments(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(Utf8ToWide(argv[i]));
    return arguments;
}

bool HostReadStdinLine(std::string& line) {
    return ReadLineBytes(line, [](char& c) {
        for (;;) {
            ssize_t n = read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            return n > 0;
        }
    });
}

std::wstring HostFullPath(const std::wstring& path) {
    char resolved[PATH_MAX];
    if (realpath(WideToUtf8(path).c_str(), resolved) == nullptr) return path;
    return Utf8ToWide(resolved);
}

std::wstring HostExecutableDirectory() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return Utf8ToWide(path.substr(0, slash == 0 ? 1 : slash));
}

bool HostGetEnv(const std::wstring& name, std::wstring& value) {
    const char* text = getenv(WideToUtf8(name).c_str());
    if (text == nullptr) return false;
    value = Utf8ToWide(text);
    return true;
}

std::vector<std::pair<std::wstring, std::wstring>> HostListEnv() {
    std::vector<std::pair<std::wstring, std::wstring>> list;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        size_t equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        list.emplace_back(Utf8ToWide(text.substr(0, equals)), Utf8ToWide(text.substr(equals + 1)));
    }
    return list;
}

bool HostSetEnv(const std::wstring& name, const std::wstring& value) {
    return setenv(WideToUtf8(name).c_str(), WideToUtf8(value).c_str(), 1) == 0;
}

bool HostUnsetEnv(const std::wstring& name) {
    return unsetenv(WideToUtf8(name).c_str()) == 0;
}
