// Tells an IPv4 address text from an IPv6 one; IPv4 wins when both would accept it.
#include <cstring>

#include "dns/reverse/ReverseLookup.h"
#include "platform/text/Sockets.h"
#include "platform/text/Text.h"

namespace {

constexpr size_t NarrowSize = 1024;

// True when text has more characters than the narrow buffer holds: cut to fit, it could read
// as a different address. (A shorter text is cut only after a non-ASCII character, whose
// first byte is kept and fails the conversion.)
bool TooLong(const wchar_t* text) {
    for (size_t i = 0; i < NarrowSize; ++i)
        if (text[i] == L'\0') return false;
    return true;
}

// The IPv4 reading of text, or 0 when it is none. 0.0.0.0 and 255.255.255.255 are no
// addresses to look up, and the latter is also what a failed conversion gives.
uint32_t ParseIpv4(const wchar_t* text) {
    if (TooLong(text)) return 0;
    char narrow[NarrowSize] = {};
    if (WideToNarrow(text, narrow, sizeof narrow) == 0) return 0;
    uint32_t address = SockInetAddr(narrow);
    return address == SockInvalidAddress ? 0 : address;
}

} // namespace

int ParseAddress(const wchar_t* text, uint32_t* address4, SockAddr6* address6) {
    if (address4 == nullptr) return -1;
    if (text == nullptr) return 0;

    if (uint32_t address = ParseIpv4(text); address != 0) {
        *address4 = address;
        return AddressIsV4;
    }

    SockAddr6 parsed;
    std::memset(&parsed, 0, sizeof parsed);
    if (address6 == nullptr || !SockStringToAddress6(text, &parsed) ||
        parsed.sin6_family != AF_INET6)
        return 0;
    // Only the address and scope matter for a reverse lookup; a port given with it is dropped.
    parsed.sin6_port = 0;
    std::memcpy(address6, &parsed, sizeof parsed);
    return AddressIsV6;
}
