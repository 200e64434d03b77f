// Address conversions on top of the C library's inet_aton / inet_pton / inet_ntop.
#include <arpa/inet.h>
#include <net/if.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "platform/text/Sockets.h"

namespace {

// Longest text worth converting: an IPv6 address with an interface name, brackets and port
// fits easily; anything longer cannot be an address.
constexpr size_t MaxAddressText = 128;

// ASCII wide text to narrow; false when the text is too long or not plain ASCII.
bool ToAscii(const wchar_t* text, char* out, size_t capacity) {
    size_t i = 0;
    for (; text[i] != L'\0'; ++i) {
        if (i + 1 >= capacity || text[i] > 0x7E || text[i] < 0x20) return false;
        out[i] = static_cast<char>(text[i]);
    }
    out[i] = '\0';
    return true;
}

// Copies ASCII text into a wide buffer; false (buffer emptied) when it does not fit.
bool CopyWide(std::string_view text, wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    if (text.size() >= capacity) {
        buffer[0] = L'\0';
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i)
        buffer[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    buffer[text.size()] = L'\0';
    return true;
}

// Unsigned decimal with no sign, blanks or excess; false when empty or above limit.
bool ParseDecimal(std::string_view text, uint32_t limit, uint32_t* value) {
    if (text.empty()) return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
        if (number > limit) return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

// Interface index by name: the exact name, else the one interface whose name differs only in
// case (command arguments may arrive upper-cased). 0 when there is none or several.
uint32_t InterfaceIndex(const char* name) {
    if (uint32_t index = if_nametoindex(name); index != 0) return index;
    struct if_nameindex* list = if_nameindex();
    if (list == nullptr) return 0;
    uint32_t found = 0;
    int matches = 0;
    for (struct if_nameindex* entry = list; entry->if_index != 0 && entry->if_name != nullptr;
         ++entry) {
        if (strcasecmp(entry->if_name, name) == 0) {
            found = entry->if_index;
            ++matches;
        }
    }
    if_freenameindex(list);
    return matches == 1 ? found : 0;
}

// Scope: a number, or the name of a network interface.
bool ParseScope(std::string_view text, uint32_t* scope) {
    if (ParseDecimal(text, 0xFFFFFFFFu, scope)) return true;
    if (text.empty() || text.size() >= IF_NAMESIZE) return false;
    char name[IF_NAMESIZE] = {};
    text.copy(name, text.size());
    *scope = InterfaceIndex(name);
    return *scope != 0;
}

} // namespace

uint32_t SockInetAddr(const char* text) {
    if (text == nullptr) return SockInvalidAddress;
    // inet_aton stops at the first blank and ignores what follows; an address text is the
    // whole text, so only the characters of its number forms may appear at all.
    for (const char* c = text; *c != '\0'; ++c) {
        bool digit = (*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'f') ||
                     (*c >= 'A' && *c <= 'F') || *c == 'x' || *c == 'X' || *c == '.';
        if (!digit) return SockInvalidAddress;
    }
    in_addr address{};
    if (inet_aton(text, &address) == 0) return SockInvalidAddress;
    return address.s_addr;
}

bool SockInetNtop4(uint32_t address, wchar_t* buffer, size_t capacity) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    if (inet_ntop(AF_INET, &in, text, sizeof text) == nullptr) {
        CopyWide("", buffer, capacity);
        return false;
    }
    return CopyWide(text, buffer, capacity);
}

bool SockInetNtop6(const uint8_t address[16], wchar_t* buffer, size_t capacity) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address == nullptr || inet_ntop(AF_INET6, address, text, sizeof text) == nullptr) {
        CopyWide("", buffer, capacity);
        return false;
    }
    return CopyWide(text, buffer, capacity);
}

bool SockStringToAddress6(const wchar_t* text, SockAddr6* address) {
    if (text == nullptr || address == nullptr) return false;
    char narrow[MaxAddressText];
    if (!ToAscii(text, narrow, sizeof narrow)) return false;

    std::string_view rest = narrow;
    uint32_t port = 0;
    if (!rest.empty() && rest.front() == '[') {
        size_t close = rest.find(']');
        if (close == std::string_view::npos) return false;
        std::string_view after = rest.substr(close + 1);
        if (!after.empty() &&
            (after.front() != ':' || !ParseDecimal(after.substr(1), 0xFFFF, &port)))
            return false;
        rest = rest.substr(1, close - 1);
    }

    uint32_t scope = 0;
    size_t percent = rest.find('%');
    if (percent != std::string_view::npos) {
        if (!ParseScope(rest.substr(percent + 1), &scope)) return false;
        rest = rest.substr(0, percent);
    }

    char host[INET6_ADDRSTRLEN + 1] = {};
    if (rest.size() >= sizeof host) return false;
    rest.copy(host, rest.size());
    in6_addr bytes{};
    if (inet_pton(AF_INET6, host, &bytes) != 1) return false;

    std::memset(address, 0, sizeof *address);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(static_cast<uint16_t>(port));
    address->sin6_addr = bytes;
    address->sin6_scope_id = scope;
    return true;
}

bool SockAddress6ToString(const SockAddr6* address, wchar_t* buffer, size_t capacity) {
    if (address == nullptr || address->sin6_family != AF_INET6) {
        CopyWide("", buffer, capacity);
        return false;
    }
    char host[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET6, &address->sin6_addr, host, sizeof host) == nullptr) {
        CopyWide("", buffer, capacity);
        return false;
    }
    char scope[16] = {};
    if (address->sin6_scope_id != 0)
        std::snprintf(scope, sizeof scope, "%%%u", static_cast<unsigned>(address->sin6_scope_id));
    char text[INET6_ADDRSTRLEN + sizeof scope + 16] = {};
    uint16_t port = ntohs(address->sin6_port);
    if (port != 0)
        std::snprintf(text, sizeof text, "[%s%s]:%u", host, scope, unsigned{port});
    else
        std::snprintf(text, sizeof text, "%s%s", host, scope);
    return CopyWide(text, buffer, capacity);
}
