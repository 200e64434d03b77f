// Fuzzes the argument splitter and the numeric readers over command lines. The input as UTF-8
// is split with the commands' flags (5 for DNS, 0x85 for RDNS); then its first two bytes are
// taken as arbitrary flags for the rest (decoded as raw 32-bit characters when bit 15 is set,
// which no flag uses, else as UTF-8). After each split the argument vector must lie within
// the argument buffer; every argument then goes through ParseUnsigned and ParsePageOption.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dns/frame/SplitArguments.h"
#include "dns/output/Pager.h"
#include "platform/text/Text.h"
#include "tests/fakes/FakeWorld.h"

namespace {

constexpr uint32_t DnsFlags = ARG_SPLIT_BLANKS | ARG_SPLIT_SWITCHES;
constexpr uint32_t RdnsFlags = DnsFlags | ARG_UPPER_CASE;
constexpr uint32_t RawCharacters = 0x8000;
constexpr uint32_t AllBits = 0xFFFFFFFF;

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_split: broken invariant: %s\n", what);
    std::abort();
}

bool IsSpace(wchar_t c) {
    return c != 0 && IsSpaceCharacter(c);
}
wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c;
}

// One split's result: the count (or -1) and each argument's text (none for a null entry).
struct Split {
    int result = 0;
    std::vector<std::optional<std::wstring>> args;
    bool operator==(const Split&) const = default;
};

// Checks the module-wide vector after a split and copies it out.
Split Capture(int result, uint32_t flags) {
    Split split{result, {}};
    if (result < 0) {
        Check(result == -1 && ArgCount == 0, "a failed split leaves no arguments");
        Check(!fake::Err.empty(), "an overflow is reported");
        return split;
    }
    Check(result == ArgCount && ArgCount <= MAX_ARGS, "count within 0 to 1024");
    Check(fake::Err.empty(), "a split that succeeds prints nothing");
    const wchar_t* const bufferEnd = ArgBuffer + MAX_ARG_LEN;
    const wchar_t* previousEnd = ArgBuffer;
    for (int i = 0; i < ArgCount; ++i) {
        const wchar_t* arg = ArgVector[i];
        if (arg == nullptr) {
            split.args.emplace_back();
            continue;
        }
        Check(arg >= previousEnd && arg < bufferEnd, "an argument starts inside the buffer, "
                                                     "after the one before");
        const wchar_t* end = std::wmemchr(arg, L'\0', size_t(bufferEnd - arg));
        Check(end != nullptr, "an argument ends inside the buffer");
        std::wstring_view text(arg, size_t(end - arg));
        if ((flags & ARG_UPPER_CASE) != 0)
            for (wchar_t c : text)
                Check(c < L'a' || c > L'z', "upper-casing leaves no small letters");
        if ((flags & ARG_NO_TRIM) == 0)
            Check(text.empty() || !IsSpace(text.back()), "trailing white space trimmed");
        split.args.emplace_back(std::wstring(text));
        previousEnd = end + 1;
    }
    return split;
}

Split Run(const std::wstring& line, uint32_t flags) {
    fake::Err.clear();
    return Capture(SplitArguments(line.c_str(), flags), flags);
}

// ParseUnsigned: consistent with and without an end, and right on plain decimal numbers.
void CheckUnsigned(const std::wstring& text) {
    const wchar_t* start = text.c_str();
    uint32_t value = 7, whole = 7;
    const wchar_t* end = nullptr;
    int withEnd = ParseUnsigned(start, &value, &end);
    int alone = ParseUnsigned(start, &whole, nullptr);
    Check(withEnd == 0 || withEnd == -1 || withEnd == 34, "ParseUnsigned results");
    Check(alone == 0 || alone == -1 || alone == 34, "ParseUnsigned results");
    if (withEnd == 0) {
        Check(end > start && end <= start + text.size(), "the end lies behind the number");
        Check(start[0] >= L'0' && start[0] <= L'9', "a number starts with a digit");
    } else {
        Check(value == 7 && end == nullptr, "nothing written on failure");
    }
    if (alone == 0) {
        Check(withEnd == 0 && whole == value && end == start + text.size(),
              "a whole number reads the same with an end");
    } else {
        Check(whole == 7, "nothing written on failure");
    }
    bool decimal = !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
    if (decimal) {
        uint64_t expected = 0; // stops growing once it is out of range
        for (wchar_t c : text)
            if (expected <= 0xFFFFFFFF) expected = expected * 10 + uint64_t(c - L'0');
        bool fits = expected <= 0xFFFFFFFF;
        Check(alone == (fits ? 0 : 34) && withEnd == alone, "decimal range");
        Check(!fits || whole == uint32_t(expected), "decimal value");
    }
    Check(ParseUnsigned(nullptr, &value, &end) == -1 && ParseUnsigned(start, nullptr, &end) == -1,
          "null arguments");
}

bool IsPageOption(const std::wstring& text) {
    return text.size() >= 2 && (text[0] == L'/' || text[0] == L'-') &&
           (text[1] == L'P' || text[1] == L'p');
}

// ParsePageOption: 0 or 1; a message exactly when it fails; a line count within range.
void CheckPageOption(const std::wstring& text) {
    std::vector<wchar_t> argument(text.begin(), text.end());
    argument.push_back(L'\0');
    uint32_t lines = 12345;
    fake::Err.clear();
    int result = ParsePageOption(argument.data(), &lines);
    Check(result == 0 || result == 1, "ParsePageOption results");
    Check((result == 1) == !fake::Err.empty(), "a message exactly on failure");
    if (!IsPageOption(text)) {
        Check(result == 0 && lines == 12345 && std::wstring(argument.data()) == text,
              "other arguments are left alone");
    } else if (result == 0) {
        Check(lines == AllBits || lines <= 1000, "line count within 0 to 1000");
    }
    fake::Err.clear();
}

void CheckArguments(const Split& split) {
    for (const std::optional<std::wstring>& arg : split.args) {
        if (!arg) continue;
        CheckUnsigned(*arg);
        CheckPageOption(*arg);
    }
}

std::wstring FromUtf8(const uint8_t* data, size_t size) {
    std::wstring text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    // The line ends at its first terminator, as the host would pass it.
    return text.substr(0, text.find(L'\0'));
}

std::wstring FromRaw(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t unit = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 |
                        uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24;
        if (unit == 0) break;
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (fake::Reset(), true);
    (void)ready;

    std::wstring line = FromUtf8(data, size);
    Split dns = Run(line, DnsFlags);
    Split rdns = Run(line, RdnsFlags);
    Split upper = dns;
    for (std::optional<std::wstring>& arg : upper.args)
        if (arg)
            for (wchar_t& c : *arg)
                c = UpperAscii(c);
    Check(rdns == upper, "RDNS's split is DNS's split upper-cased");
    Check(Run(line, DnsFlags) == dns, "a split does not depend on the one before");
    CheckArguments(dns);

    if (size >= 2) {
        uint32_t flags = uint32_t(data[0]) | uint32_t(data[1]) << 8;
        std::wstring rest = (flags & RawCharacters) != 0 ? FromRaw(data + 2, size - 2)
                                                         : FromUtf8(data + 2, size - 2);
        CheckArguments(Run(rest, flags & ~RawCharacters));
    }
    return 0;
}
