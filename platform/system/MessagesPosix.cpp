// System message texts: the Windows texts of the status codes the DNS client reports, so that
// error lines read the same on every platform.
#include "platform/system/Messages.h"

#include <cwchar>

namespace {

struct MessageText {
    uint32_t code;
    const wchar_t* text;
};

constexpr MessageText Messages[] = {
    {0, L"The operation completed successfully.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {14, L"Not enough memory resources are available to complete this operation.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {123, L"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
    {9001, L"DNS server unable to interpret format.\r\n"},
    {9002, L"DNS server failure.\r\n"},
    {9003, L"DNS name does not exist.\r\n"},
    {9004, L"DNS request not supported by name server.\r\n"},
    {9005, L"DNS operation refused.\r\n"},
    {9006, L"DNS name that ought not exist, does exist.\r\n"},
    {9007, L"DNS RR set that ought not exist, does exist.\r\n"},
    {9008, L"DNS RR set that ought to exist, does not exist.\r\n"},
    {9009, L"DNS server not authoritative for zone.\r\n"},
    {9010, L"DNS name in update or prereq is not in zone.\r\n"},
    {9016, L"DNS signature failed to verify.\r\n"},
    {9017, L"DNS bad key.\r\n"},
    {9018, L"DNS signature validity expired.\r\n"},
    {9501, L"No records found for given DNS query.\r\n"},
    {9502, L"Bad DNS packet.\r\n"},
    {9503, L"No DNS packet.\r\n"},
    {9504, L"DNS error, check rcode.\r\n"},
    {9505, L"Unsecured DNS packet.\r\n"},
    {9506, L"DNS query request is pending.\r\n"},
    {9551, L"Invalid DNS type.\r\n"},
    {9552, L"Invalid IP address.\r\n"},
    {9553, L"Invalid property.\r\n"},
    {9554, L"Try DNS operation again later.\r\n"},
    {9555, L"Record for given name and type is not unique.\r\n"},
    {9557, L"DNS name is a fully-qualified DNS name.\r\n"},
    {9558, L"DNS name is dotted (multi-label).\r\n"},
    {9559, L"DNS name is a single-part name.\r\n"},
    {9560, L"DNS name contains an invalid character.\r\n"},
    {9561, L"DNS name is entirely numeric.\r\n"},
    {10061, L"No connection could be made because the target machine actively refused it.\r\n"},
    {10065, L"A socket operation was attempted to an unreachable host.\r\n"},
};

} // namespace

size_t SystemMessageText(uint32_t code, wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    for (const MessageText& message : Messages) {
        if (message.code != code) continue;
        size_t length = std::wcslen(message.text);
        // Like the system service: a text that does not fit is no text at all.
        if (length + 1 > capacity) return 0;
        std::wmemcpy(buffer, message.text, length + 1);
        return length;
    }
    return 0;
}
