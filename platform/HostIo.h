// Host I/O service: raw writes to a file descriptor, reading lines from standard input and
// whole text files, path resolution and the process environment. Used by the command
// processor and its service library, never by the module.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Writes all bytes to the descriptor, retrying short and interrupted writes.
bool HostWrite(int fd, std::string_view bytes);

// Reads one line from standard input without its line end. Returns false at end of input
// when nothing was read.
bool HostReadStdinLine(std::string& line);

// Reads a whole file; false when it cannot be opened or read.
bool HostReadFile(const std::wstring& path, std::string& contents);

// The absolute, symlink-free form of path; path itself when it cannot be resolved.
std::wstring HostFullPath(const std::wstring& path);

// The directory holding the running executable, without a trailing slash; empty if unknown.
std::wstring HostExecutableDirectory();

// Process environment. Names are case-sensitive here; the caller adds case-blindness.
bool HostGetEnv(const std::wstring& name, std::wstring& value);
std::vector<std::pair<std::wstring, std::wstring>> HostListEnv();
bool HostSetEnv(const std::wstring& name, const std::wstring& value);
bool HostUnsetEnv(const std::wstring& name);
