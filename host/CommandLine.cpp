#include "host/CommandLine.h"

#include <algorithm>

#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"
#include "platform/text/Text.h"

CommandParts SplitCommand(std::wstring_view line) {
    line = TrimStart(line);
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end]) && (line[end] != L'/' || end == 0))
        ++end;
    return {line.substr(0, end), TrimStart(line.substr(end))};
}

std::wstring CommandLineFromWords(const std::vector<std::wstring>& words) {
    std::wstring line;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (i > 0) line += L' ';
        bool quoted = word.empty() || std::any_of(word.begin(), word.end(), [](wchar_t c) {
                          return c == L'"' || IsSpaceCharacter(c);
                      });
        if (!quoted) {
            line += word;
            continue;
        }
        line += L'"';
        for (wchar_t c : word) {
            line += c;
            if (c == L'"') line += L'"'; // closes and opens again: the argument goes on
        }
        line += L'"';
    }
    return line;
}

bool IsSkippedLine(std::wstring_view line) {
    line = TrimStart(line);
    if (line.empty() || line.starts_with(L"::") || line.starts_with(L"#")) return true;
    return SameName(SplitCommand(line).name, L"rem");
}

std::vector<std::wstring> SplitLines(std::string_view contents) {
    if (contents.starts_with("\xEF\xBB\xBF")) contents.remove_prefix(3);
    std::vector<std::wstring> lines;
    while (!contents.empty()) {
        size_t end = contents.find('\n');
        std::string_view line = contents.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(Utf8ToWide(line));
        if (end == std::string_view::npos) break;
        contents.remove_prefix(end + 1);
    }
    return lines;
}
