// Address conversions of the socket library.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/text/SocketTypes.h"

// inet_addr: every form it accepts (dotted, short, octal, hexadecimal); SockInvalidAddress
// (all bits set) on failure. The result is in network byte order.
constexpr uint32_t SockInvalidAddress = 0xFFFFFFFFu;
uint32_t SockInetAddr(const char* text);

// Address to text: IPv4 dotted decimal, IPv6 the standard compressed lower-case form. False,
// and the buffer emptied, when the text does not fit capacity (terminator included).
bool SockInetNtop4(uint32_t address, wchar_t* buffer, size_t capacity);
bool SockInetNtop6(const uint8_t address[16], wchar_t* buffer, size_t capacity);

// IPv6 text (optionally with %scope, numeric or an interface name - matched regardless of case
// when no name matches exactly - and the bracketed [address] and [address]:port forms) to a
// socket address; false when the text is no IPv6 address. IPv4 dotted text is not IPv6.
bool SockStringToAddress6(const wchar_t* text, SockAddr6* address);
// IPv6 socket address to text: the address, "%scope" when the scope is not 0, the whole
// bracketed with ":port" after it when the port is not 0. False, and the buffer emptied, when
// the family is not IPv6 or the text does not fit.
bool SockAddress6ToString(const SockAddr6* address, wchar_t* buffer, size_t capacity);
