// Dynamic library service: loading plug-in modules and finding their exports.
#pragma once
#include <string>

using LibraryHandle = void*;

// Loads the library at path; null on failure, with the system's reason in error.
LibraryHandle LibraryOpen(const std::wstring& path, std::wstring& error);
// The address of an exported symbol, or null.
void* LibrarySymbol(LibraryHandle library, const char* name);
void LibraryClose(LibraryHandle library);

// The path of the plug-in module called name in directory, with the platform's file name:
// "Dns" is Dns.so on POSIX and Dns.dll on Windows.
std::wstring LibraryPathIn(const std::wstring& directory, const wchar_t* name);
