// Settings service: the process environment and the read-only registry (settings files on
// POSIX).
#pragma once
#include <cstddef>
#include <cstdint>

// Copies the environment variable into buffer. Returns false when it is unset or does not fit
// (capacity wide characters, terminator included).
bool SettingsGetEnvironment(const wchar_t* name, wchar_t* buffer, size_t capacity);

enum class SettingsRoot { CurrentUser, LocalMachine };
constexpr uint32_t SettingsTypeString = 1; // the plain string type (REG_SZ)

// Reads one value of a key, as the registry would: returns false when the key or value is
// missing or the value does not fit into *bytes. On success *type holds its type and *bytes
// the bytes stored (a string's terminator included).
bool SettingsReadValue(SettingsRoot root, const wchar_t* key, const wchar_t* value, void* buffer,
                       uint32_t* bytes, uint32_t* type);
