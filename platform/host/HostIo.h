// Host I/O service: raw writes to a file descriptor, reading lines from standard input, path
// resolution and the process environment. Used by the command processor and its service
// library, never by the module.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Writes all bytes (UTF-8) to standard output (1) or standard error (2), retrying short and
// interrupted writes. On Windows a console gets the text through WriteConsoleW.
bool HostWrite(int fd, std::string_view bytes);

// The standard stream that a handle given to Qprintf stands for: 1 for standard output, 2 for
// standard error and for every other handle. On POSIX a handle is the descriptor plus one,
// (void*)(fd + 1); on Windows it is the system's standard handle.
int HostHandleToDescriptor(void* handle);

// The program's arguments after its name, as wide text.
std::vector<std::wstring> HostArguments(int argc, char** argv);

// Reads one line from standard input without its line end. Returns false at end of input
// when nothing was read.
bool HostReadStdinLine(std::string& line);

// The absolute, symlink-free form of path; path itself when it cannot be resolved.
std::wstring HostFullPath(const std::wstring& path);

// The directory holding the running executable, without a trailing slash; empty if unknown.
std::wstring HostExecutableDirectory();

// Process environment. Names are case-sensitive here; the caller adds case-blindness.
bool HostGetEnv(const std::wstring& name, std::wstring& value);
std::vector<std::pair<std::wstring, std::wstring>> HostListEnv();
bool HostSetEnv(const std::wstring& name, const std::wstring& value);
bool HostUnsetEnv(const std::wstring& name);
