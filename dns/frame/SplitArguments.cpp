// The argument splitter: cuts a command line into the module-wide argument vector under a set of
// flags, and reads unsigned numbers in decimal, 0x hexadecimal or 0o octal form.
#include "dns/frame/SplitArguments.h"

#include <cerrno>
#include <cstdint>
#include <cwchar>

#include "dns/frame/Errors.h"
#include "dns/frame/HostApi.h"
#include "platform/console/Console.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Text.h"

wchar_t ArgBuffer[MAX_ARG_LEN];
wchar_t* ArgVector[MAX_ARGS];
int32_t ArgLengths[MAX_ARGS];
int32_t ArgCount;

namespace {

// The last position at which a character may still be stored: one cell stays for its terminator.
constexpr int LastStorePosition = MAX_ARG_LEN - 1;

bool IsSpace(wchar_t c) {
    return c != L'\0' && IsSpaceCharacter(c);
}
bool IsLetter(wchar_t c) {
    return IsLetterCharacter(c);
}

// The state of one scan.
struct Scan {
    uint32_t flags;
    int length = 0;   // characters stored in the current argument
    int position = 0; // write position in ArgBuffer
    int index = 0;    // current argument
    bool quoted = false;
    bool equalsSeen = false;
    bool exclusionList = false;
    bool url = false;

    bool Has(uint32_t flag) const { return (flags & flag) != 0; }
    // The current argument's text; only valid while length > 0.
    const wchar_t* Current() const { return ArgVector[index]; }
    bool CurrentIs(const wchar_t* text) const {
        return length > 0 && index < MAX_ARGS && std::wcscmp(Current(), text) == 0;
    }

    void EndArgument() {
        if (index < MAX_ARGS) ++index;
        ++position;
        length = 0;
        exclusionList = false;
        url = false;
    }
};

void ReportOverflow(int position) {
    PrintErrorPrefix();
    Qprintf(ConsoleStdError(), L"Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n", position,
            MAX_ARG_LEN);
}

// Stores c in the current argument; false on overflow (already reported).
bool Store(Scan& scan, wchar_t c) {
    if (scan.position >= LastStorePosition) {
        ReportOverflow(scan.position);
        return false;
    }
    if (scan.index >= MAX_ARGS) return true;
    if (scan.length == 0) ArgVector[scan.index] = &ArgBuffer[scan.position];
    if (scan.Has(ARG_UPPER_CASE)) c = UpperAscii(c);
    ArgBuffer[scan.position++] = c;
    ArgBuffer[scan.position] = L'\0';
    ArgLengths[scan.index] = ++scan.length;
    if (c == L'!' && scan.Has(ARG_EXCLUDE_LISTS) && scan.CurrentIs(L"/[!"))
        scan.exclusionList = true;
    return true;
}

void TrimTrailingSpace(int count) {
    for (int i = 0; i < count; ++i) {
        wchar_t* text = ArgVector[i];
        if (text == nullptr) continue;
        // The text itself decides: a colon put in by ARG_QUOTE_TO_COLON is not counted.
        size_t n = std::wcslen(text);
        while (n > 0 && IsSpace(text[n - 1]))
            text[--n] = L'\0';
    }
}

} // namespace

int SplitArguments(const wchar_t* line, uint32_t flags) {
    if (line == nullptr) return -1;

    ArgCount = 0;
    for (int i = 0; i < MAX_ARGS; ++i) {
        ArgLengths[i] = 0;
        ArgVector[i] = nullptr;
    }
    ArgBuffer[0] = L'\0';

    if ((flags & ARG_SPLIT_BLANKS) != 0) flags &= ~ARG_SPLIT_TABS;
    if ((flags & (ARG_SPLIT_BLANKS | ARG_SPLIT_COMMAS | ARG_SPLIT_EQUALS | ARG_SPLIT_TABS)) == 0)
        flags |= ARG_SPLIT_BLANKS;

    Scan scan{flags};
    for (size_t i = 0;; ++i) {
        wchar_t c = line[i];

        if (c == L'"') {
            if (scan.length == 0 && scan.Has(ARG_REST_AS_ONE) && scan.Has(ARG_REST_KEEP_QUOTES))
                scan.flags |= ARG_KEEP_QUOTES;
            if (!scan.Has(ARG_PLAIN_QUOTES)) {
                scan.quoted = !scan.quoted;
                bool switchLetter = scan.length == 2 && scan.index < MAX_ARGS &&
                                    scan.Current()[0] == L'/' && IsLetter(scan.Current()[1]);
                if (scan.quoted && switchLetter && scan.Has(ARG_QUOTE_TO_COLON)) {
                    if (!scan.Has(ARG_KEEP_QUOTES)) {
                        c = L':';
                    } else if (scan.position < LastStorePosition) {
                        ArgBuffer[scan.position++] = L':';
                        ArgBuffer[scan.position] = L'\0';
                    }
                } else if (!scan.Has(ARG_KEEP_QUOTES) && !scan.exclusionList) {
                    continue;
                }
            }
        }

        // Leading white space.
        if (IsSpace(c) && scan.length == 0 && !scan.quoted &&
            !(c == L'\t' && scan.Has(ARG_SPLIT_TABS)))
            continue;

        // The first character of an argument that is no switch starts the rest of the line.
        if (scan.length == 0 && c != L'/' && scan.Has(ARG_SPLIT_BLANKS) &&
            scan.Has(ARG_REST_AS_ONE)) {
            scan.flags &= ~ARG_SPLIT_BLANKS;
            if (scan.Has(ARG_REST_KEEP_QUOTES)) scan.flags |= ARG_KEEP_QUOTES;
        }

        // White space after a lone "=".
        if (IsSpace(c) && !scan.quoted && scan.Has(ARG_SPLIT_EQUALS) && scan.index > 0 &&
            scan.CurrentIs(L"="))
            continue;

        if (!scan.quoted) {
            bool separator = (IsSpace(c) && scan.Has(ARG_SPLIT_BLANKS) && !scan.exclusionList) ||
                             (c == L',' && scan.Has(ARG_SPLIT_COMMAS)) ||
                             (c == L'\t' && scan.Has(ARG_SPLIT_TABS));
            if (separator) {
                if (scan.Has(ARG_REST_AFTER_FIRST) && scan.length > 0 && scan.index < MAX_ARGS &&
                    scan.Current()[0] != L'/')
                    scan.flags &= ~(ARG_SPLIT_BLANKS | ARG_SPLIT_COMMAS);
                scan.EndArgument();
                continue;
            }
            if (c == L']') scan.exclusionList = false;
        }

        if (c == L':' && scan.Has(ARG_SPLIT_SWITCHES)) {
            if (scan.length > 0 && i > 0 && IsLetter(line[i - 1]) && line[i + 1] == L'/' &&
                line[i + 2] == L'/')
                scan.url = true;
        } else if (c == L'/' && !scan.quoted) {
            if (!scan.url && scan.length > 1 && scan.index < MAX_ARGS &&
                scan.Current()[0] == L'/' && scan.Has(ARG_SPLIT_SWITCHES))
                scan.EndArgument();
        } else if (c == L'=' && !scan.quoted && scan.Has(ARG_SPLIT_EQUALS)) {
            if (!scan.equalsSeen && scan.length > 0 && scan.index < MAX_ARGS &&
                scan.Current()[0] != L'/')
                scan.EndArgument(); // the next argument is the value, "=" first
            scan.equalsSeen = true;
            scan.flags &= ~(ARG_SPLIT_BLANKS | ARG_SPLIT_COMMAS);
            if (scan.Has(ARG_EQUALS_PLAIN_QUOTES)) scan.flags |= ARG_PLAIN_QUOTES;
        } else if (c == L'\0') {
            if (scan.length > 0) ++scan.index;
            break;
        }

        if (!Store(scan, c)) return -1;
    }

    int count = scan.index < MAX_ARGS ? scan.index : MAX_ARGS;
    if ((flags & ARG_NO_TRIM) == 0) TrimTrailingSpace(count);
    ArgCount = count;
    return count;
}

int ParseUnsigned(const wchar_t* text, uint32_t* value, const wchar_t** end) {
    if (text == nullptr || value == nullptr) return -1;
    errno = 0;

    auto isDecimal = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    auto isOctal = [](wchar_t c) { return c >= L'0' && c <= L'7'; };
    auto isHex = [&](wchar_t c) {
        return isDecimal(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
    };

    int base;
    const wchar_t* digits;
    if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') && isHex(text[2])) {
        base = 16;
        digits = text + 2;
    } else if (text[0] == L'0' && (text[1] == L'o' || text[1] == L'O') && isOctal(text[2])) {
        base = 8;
        digits = text + 2;
    } else if (isDecimal(text[0])) {
        base = 10;
        digits = text;
    } else {
        return -1;
    }

    wchar_t* stop = nullptr;
    unsigned long long number = std::wcstoull(digits, &stop, base);
    if (errno != 0) return errno;
    // The runtime's unsigned long may be wider than 32 bits; the value must fit 32.
    if (number > UINT32_MAX) return ERANGE;
    if (end == nullptr && *stop != L'\0') return -1;

    *value = static_cast<uint32_t>(number);
    if (end != nullptr) *end = stop;
    return 0;
}
