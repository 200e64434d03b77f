#include "host/Completion.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"

namespace {

struct CommandOptions {
    std::wstring_view command;
    std::vector<std::wstring> options;
};

// The DNS plug-in's options; those that end in ":" take their value right after it.
const std::array<CommandOptions, 2> PluginOptions = {{
    {L"dns", {L"/?", L"/$", L"/A", L"/K", L"/N:", L"/P", L"/S", L"/W"}},
    {L"rdns", {L"/?", L"/$", L"/A:", L"/M"}},
}};

// The built-ins and every plug-in command, sorted, each name once.
std::vector<std::wstring> CommandNames(const Shell& shell) {
    std::vector<std::wstring> names;
    for (const BuiltinInfo& builtin : Builtins())
        names.emplace_back(builtin.name);
    for (const LoadedPlugin& plugin : shell.plugins)
        for (const PluginCommand& command : plugin.commands)
            names.push_back(command.name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// Completes word from the candidates: a single match in full (with a blank after it unless it
// takes a value), several as far as they agree, and then the list of them.
LineCompletion CompleteWord(std::wstring_view word, const std::vector<std::wstring>& candidates) {
    LineCompletion completion{word.size(), std::wstring(word), {}};
    for (const std::wstring& candidate : candidates)
        if (StartsWithName(candidate, word)) completion.choices.push_back(candidate);
    if (completion.choices.empty()) return completion;
    const std::wstring& first = completion.choices.front();
    if (completion.choices.size() == 1) {
        completion.text = first + (first.ends_with(L':') ? L"" : L" ");
        completion.choices.clear();
        return completion;
    }
    size_t common = first.size();
    for (const std::wstring& choice : completion.choices) {
        size_t n = 0;
        while (n < common && n < choice.size() && SameName(choice.substr(n, 1), first.substr(n, 1)))
            ++n;
        common = n;
    }
    if (common > word.size()) completion.text = first.substr(0, common);
    return completion;
}

} // namespace

LineCompletion CompleteCommandLine(const Shell& shell, std::wstring_view beforeCursor) {
    size_t start = 0;
    while (start < beforeCursor.size() && IsBlank(beforeCursor[start]))
        ++start;
    // The command name ends at a blank or at a "/" after its first character ("dns/?").
    size_t end = start;
    while (end < beforeCursor.size() && !IsBlank(beforeCursor[end]) &&
           (beforeCursor[end] != L'/' || end == start))
        ++end;
    std::wstring_view name = beforeCursor.substr(start, end - start);
    if (end == beforeCursor.size()) return CompleteWord(name, CommandNames(shell));

    size_t blank = beforeCursor.find_last_of(L" \t");
    size_t wordStart = std::max(end, blank == std::wstring_view::npos ? 0 : blank + 1);
    std::wstring_view word = beforeCursor.substr(wordStart);
    bool secondWord = TrimStart(beforeCursor.substr(end, wordStart - end)).empty();

    if (secondWord && (SameName(name, L"help") || SameName(name, L"usage")))
        return CompleteWord(word, CommandNames(shell));
    if (word.starts_with(L'/') && FindPluginCommand(shell.plugins, name) != nullptr)
        for (const CommandOptions& entry : PluginOptions)
            if (SameName(name, entry.command)) return CompleteWord(word, entry.options);
    return {word.size(), std::wstring(word), {}};
}
