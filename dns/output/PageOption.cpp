// The "/P" option: [:|=][pause time[M]][,|; [line count]].
#include <cwchar>

#include "dns/frame/Errors.h"
#include "dns/frame/HostApi.h"
#include "dns/frame/SplitArguments.h"
#include "dns/output/Pager.h"
#include "platform/console/Console.h"
#include "platform/text/AsciiCase.h"

namespace {
constexpr uint32_t NoLineCount = 0xFFFFFFFF;
constexpr uint32_t MaxPageLines = 1000;

bool IsPageLetter(const wchar_t* text) {
    return (text[0] == L'/' || text[0] == L'-') && (text[1] == L'P' || text[1] == L'p');
}
bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Quoted arguments are shown upper-cased (ASCII letters only).
int Reject(const wchar_t* format, wchar_t* argument) {
    UpperCaseAscii(argument);
    PrintErrorPrefix();
    Qprintf(ConsoleStdError(), format, argument);
    return 1;
}
} // namespace

int ParsePageOption(wchar_t* argument, uint32_t* lines) {
    if (argument == nullptr || lines == nullptr) return 0;
    if (!IsPageLetter(argument)) return 0;
    PauseTime = 0;
    *lines = NoLineCount;
    const wchar_t* cursor = argument + 2;
    if (*cursor == L'\0') return 0;
    if (*cursor == L':' || *cursor == L'=') ++cursor;

    if (IsDigit(*cursor)) {
        if (ParseUnsigned(cursor, &PauseTime, &cursor) != 0)
            return Reject(L"Bad pause time: \"%s\"\r\n", argument);
        if (*cursor == L'M' || *cursor == L'm')
            ++cursor;
        else
            PauseTime *= 1000; // seconds; the low 32 bits of the product are kept
    }
    if (*cursor == L',' || *cursor == L';') {
        ++cursor;
        if (IsDigit(*cursor)) {
            uint32_t count = 0;
            if (ParseUnsigned(cursor, &count, &cursor) != 0)
                return Reject(L"Bad pause lines: \"%s\"\r\n", argument);
            *lines = count;
            if (count > MaxPageLines) {
                PrintErrorPrefix();
                Qprintf(ConsoleStdError(), L"Pause lines must be 0 - 1000: %u\r\n", count);
                return 1;
            }
        }
    }
    if (*cursor != L'\0') return Reject(L"Syntax error: \"%s\"\r\n", argument);
    return 0;
}
