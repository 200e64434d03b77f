// The host's I/O on Windows: text to a console through WriteConsoleW, UTF-8 bytes to files and
// pipes (the same bytes as on POSIX), lines from standard input, the process environment.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <string>

#include "platform/host/HostIo.h"
#include "platform/host/ReadLine.h"
#include "platform/text/Text.h"

namespace {

HANDLE StandardHandle(int fd) {
    return GetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

bool WriteToConsole(HANDLE console, std::string_view bytes) {
    std::wstring text = Utf8ToWide(bytes);
    const wchar_t* rest = text.data();
    size_t left = text.size();
    while (left > 0) {
        DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteConsoleW(console, rest, chunk, &written, nullptr) || written == 0) return false;
        rest += written;
        left -= written;
    }
    return true;
}

struct LocalMemory {
    wchar_t** memory;
    ~LocalMemory() {
        if (memory != nullptr) LocalFree(memory);
    }
};

} // namespace

bool HostWrite(int fd, std::string_view bytes) {
    HANDLE handle = StandardHandle(fd);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    if (IsConsole(handle)) return WriteToConsole(handle, bytes);
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 20) ? (1u << 20) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

int HostHandleToDescriptor(void* handle) {
    return handle != nullptr && handle == GetStdHandle(STD_OUTPUT_HANDLE) ? 1 : 2;
}

std::vector<std::wstring> HostArguments(int, char**) {
    std::vector<std::wstring> arguments;
    int count = 0;
    LocalMemory list{CommandLineToArgvW(GetCommandLineW(), &count)};
    for (int i = 1; list.memory != nullptr && i < count; ++i)
        arguments.emplace_back(list.memory[i]);
    return arguments;
}

bool HostReadStdinLine(std::string& line) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    return ReadLineBytes(line, [input](char& c) {
        DWORD got = 0;
        return ReadFile(input, &c, 1, &got, nullptr) && got != 0;
    });
}

std::wstring HostFullPath(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (n == 0 || n >= size) return path;
    full.resize(n);
    return full;
}

std::wstring HostExecutableDirectory() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    return path.substr(0, slash);
}

bool HostGetEnv(const std::wstring& name, std::wstring& value) {
    DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) {
        // Unset, or set and empty.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
    }
    std::wstring text(size, L'\0');
    DWORD n = GetEnvironmentVariableW(name.c_str(), text.data(), size);
    if (n >= size) return false;
    text.resize(n);
    value = text;
    return true;
}

std::vector<std::pair<std::wstring, std::wstring>> HostListEnv() {
    std::vector<std::pair<std::wstring, std::wstring>> list;
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) return list;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        std::wstring_view text(entry);
        // Names beginning with "=" are the system's per-drive directories.
        size_t equals = text.find(L'=', 1);
        if (text.front() == L'=' || equals == std::wstring_view::npos) continue;
        list.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    FreeEnvironmentStringsW(block);
    return list;
}

bool HostSetEnv(const std::wstring& name, const std::wstring& value) {
    return SetEnvironmentVariableW(name.c_str(), value.c_str()) != 0;
}

bool HostUnsetEnv(const std::wstring& name) {
    return SetEnvironmentVariableW(name.c_str(), nullptr) != 0;
}
