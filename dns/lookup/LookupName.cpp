// The complete output of the DNS command for one name: name line, column header, the records
// of every type in a fixed order, and the closing line.
#include "dns/lookup/LookupName.h"

#include <array>
#include <cwchar>

#include "dns/frame/HostApi.h"
#include "dns/lookup/LookupFlags.h"
#include "dns/lookup/QueryName.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "platform/system/Clock.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Text.h"

namespace {

constexpr size_t LineTextSize = 1024;
constexpr uint32_t UnderlineLength = 35;

} // namespace

int WriteNameHeader(const wchar_t* name, uint32_t flags) {
    if ((flags & NoHeaders) != 0) return OutputDone;
    std::array<wchar_t, LineTextSize> text{};
    if ((flags & NoNameLine) == 0) {
        // A name longer than the buffer is cut to its first 1023 characters in this line only;
        // the queries use the whole name.
        size_t length = 0;
        for (; name[length] != L'\0' && length + 1 < text.size(); ++length)
            text[length] = UpperAscii(name[length]);
        text[length] = L'\0';
        if (HighlightPrintf(L"\r\n\x12%s\r\n", text.data()) == OutputBreak) return OutputBreak;
    }
    if (EndOfLine() == OutputBreak) return OutputBreak;
    QPuts(L"Type    Field       Value");
    if (EndOfLine() == OutputBreak) return OutputBreak;

    std::array<wchar_t, UnderlineLength + 1> underline{};
    for (uint32_t i = 0; i < UnderlineLength; ++i)
        underline[i] = (flags & AsciiOnly) != 0 ? L'-' : L'\u2500';
    QPuts(underline.data());
    return EndOfLine() == OutputBreak ? OutputBreak : OutputDone;
}

bool IsReverseName(const wchar_t* name) {
    const wchar_t* lastDot = std::wcsrchr(name, L'.');
    return lastDot != nullptr && std::wcscmp(lastDot, L".arpa") == 0;
}

int WriteClosingLine(uint32_t total, uint32_t flags, uint64_t elapsed) {
    if (total == 0) return HighlightPrintf(L"\nNo records found.\n");
    if ((flags & ShowSummary) == 0) return OutputDone;
    const uint64_t ms = elapsed / 10000;
    std::array<wchar_t, LineTextSize> text{};
    FormatWide(text.data(), text.size(), L"%I64u:%02u.%03u", ms / 60000,
               static_cast<uint32_t>(ms / 1000 % 60), static_cast<uint32_t>(ms % 1000));
    return HighlightPrintf(L"\n%3u %s found   %s\n", total, total == 1 ? L"record " : L"records",
                           text.data());
}

int FinishName(const wchar_t* name, uint32_t total, uint32_t flags, uint64_t elapsed,
               const NameFailures& failures) {
    int result = WriteClosingLine(total, flags, elapsed);
    if (result == OutputBreak) return OutputBreak;
    if (failures.count == 0) return result;
    ReportNameFailures(name, failures);
    return LookupQueryFailed;
}

int LookupName(ServerList* servers, const wchar_t* name, uint32_t flags, uint32_t width) {
    if (name == nullptr || name[0] == L'\0') return OutputNoInput;
    const uint64_t start = ClockSystemTime();
    if (WriteNameHeader(name, flags) == OutputBreak) return OutputBreak;

    const bool reverse = IsReverseName(name);
    uint32_t total = 0;
    NameFailures failures;
    for (const LookupStep& step : LookupSteps) {
        if (step.type == DNS_TYPE_PTR && !reverse) continue;
        if (QueryName(servers, name, step.type, flags | step.extraFlags, width, &total,
                      &failures) == OutputBreak)
            return OutputBreak;
    }
    // The closing line reads the clock only when it shows the time.
    uint64_t elapsed = total != 0 && (flags & ShowSummary) != 0 ? ClockSystemTime() - start : 0;
    return FinishName(name, total, flags, elapsed, failures);
}
