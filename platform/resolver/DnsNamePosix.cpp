// IDNA for names typed with letters outside ASCII, through libidn2.
#include "platform/resolver/DnsNamePosix.h"

#include <idn2.h>
#include <memory>
#include <string>

#include "platform/resolver/DnsMessagePosix.h"
#include "platform/text/Text.h"

namespace {

bool IsAscii(const wchar_t* name) {
    for (; *name != L'\0'; ++name)
        if (static_cast<uint32_t>(*name) > 0x7F) return false;
    return true;
}

struct IdnFree {
    void operator()(char* text) const { idn2_free(text); }
};

} // namespace

DNS_STATUS DnsEncodeQueryName(const wchar_t* name, std::vector<uint8_t>& wire) {
    if (name == nullptr || IsAscii(name)) return DnsEncodeName(name, wire);
    std::string utf8 = WideToUtf8(name);
    char* converted = nullptr;
    int status = idn2_to_ascii_8z(utf8.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    std::unique_ptr<char, IdnFree> owned(converted);
    if (status != IDN2_OK || converted == nullptr) return DnsEncodeName(name, wire);
    std::wstring ascii(converted, converted + std::char_traits<char>::length(converted));
    return DnsEncodeName(ascii.c_str(), wire);
}
