// Address conversions of the socket library.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/SocketTypes.h"

// inet_addr: every form it accepts (dotted, short, octal, hexadecimal); SockInvalidAddress
// (all bits set) on failure. The result is in network byte order.
constexpr uint32_t SockInvalidAddress = 0xFFFFFFFFu;
uint32_t SockInetAddr(const char* text);

// Address to text: IPv4 dotted decimal, IPv6 the standard compressed lower-case form.
bool SockInetNtop4(uint32_t address, wchar_t* buffer, size_t capacity);
bool SockInetNtop6(const uint8_t address[16], wchar_t* buffer, size_t capacity);

// IPv6 text (optionally with %scope, numeric or an interface name, and the bracketed
// [address]:port form) to a socket address; false when the text is no IPv6 address.
bool SockStringToAddress6(const wchar_t* text, SockAddr6* address);
// IPv6 socket address to text: the address, "%scope" when the scope is not 0.
bool SockAddress6ToString(const SockAddr6* address, wchar_t* buffer, size_t capacity);
