// Reading a whole small file (configuration, settings, batch files).
#pragma once
#include <cstddef>
#include <string>

enum class FileTextResult { Read, TooLarge, Failed };

// Reads the file at path (UTF-8) into contents. More than maxBytes bytes give TooLarge with the
// first maxBytes in contents; a missing or unreadable file, or exhausted memory, gives Failed.
// Never throws.
FileTextResult ReadFileText(const char* path, size_t maxBytes, std::string& contents) noexcept;
