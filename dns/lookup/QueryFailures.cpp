// Failed queries of a name and their report (QueryFailures.h).
#include "dns/lookup/QueryFailures.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "dns/frame/Errors.h"
#include "dns/frame/HostApi.h"
#include "platform/console/Console.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Text.h"

namespace {

constexpr size_t TextSize = 1024;

const wchar_t* TypeName(uint16_t type) {
    switch (type) {
    case DNS_TYPE_A:
        return L"A";
    case DNS_TYPE_NS:
        return L"NS";
    case DNS_TYPE_CNAME:
        return L"CNAME";
    case DNS_TYPE_SOA:
        return L"SOA";
    case DNS_TYPE_PTR:
        return L"PTR";
    case DNS_TYPE_MX:
        return L"MX";
    case DNS_TYPE_TEXT:
        return L"TXT";
    case DNS_TYPE_AAAA:
        return L"AAAA";
    case DNS_TYPE_LOC:
        return L"LOC";
    default:
        return L"OTHER";
    }
}

} // namespace

bool IsQueryFailure(DNS_STATUS status) {
    return !DnsStatusAnswersName(status);
}

void NoteQueryOutcome(NameFailures* failures, uint16_t type, DNS_STATUS status) {
    if (failures == nullptr || !IsQueryFailure(status)) return;
    for (size_t i = 0; i < failures->count; ++i)
        if (failures->items[i].type == type && failures->items[i].status == status) return;
    // More distinct failures than a name has types (a long SOA walk) are not listed again.
    if (failures->count < failures->items.size())
        failures->items[failures->count++] = {type, status};
}

void ReportNameFailures(const wchar_t* name, const NameFailures& failures) {
    std::array<wchar_t, TextSize> upper{};
    size_t length = 0;
    for (; name != nullptr && name[length] != L'\0' && length + 1 < upper.size(); ++length)
        upper[length] = UpperAscii(name[length]);

    std::array<bool, std::tuple_size_v<decltype(failures.items)>> reported{};
    for (size_t i = 0; i < failures.count; ++i) {
        if (reported[i]) continue;
        const DNS_STATUS status = failures.items[i].status;
        std::array<wchar_t, TextSize> types{};
        size_t used = 0;
        for (size_t j = i; j < failures.count; ++j) {
            if (reported[j] || failures.items[j].status != status) continue;
            reported[j] = true;
            int n = FormatWide(types.data() + used, types.size() - used,
                               used == 0 ? L"%s" : L", %s", TypeName(failures.items[j].type));
            if (n > 0) used = std::min(used + size_t(n), types.size() - 1);
        }
        std::array<wchar_t, StatusTextSize> text{};
        FormatStatusText(status, text.data());
        PrintErrorPrefix();
        Qprintf(ConsoleStdError(), L"Error looking up %s for \"%s\": %s\r\n", types.data(),
                upper.data(), text.data());
    }
}
