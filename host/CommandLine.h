// Cutting command lines and batch files into what the shell runs.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct CommandParts {
    std::wstring_view name;      // empty for a blank line
    std::wstring_view arguments; // after the name and the blanks that follow it, as typed
};

// The name ends at a blank or a "/" (so "dns/?" is "dns" with "/?"); leading blanks are
// skipped.
CommandParts SplitCommand(std::wstring_view line);

// Blank lines and comments ("rem", "::", "#") do not run.
bool IsSkippedLine(std::wstring_view line);

// A file's text as lines: UTF-8 (a leading byte-order mark dropped), "\n" or "\r\n" ends.
std::vector<std::wstring> SplitLines(std::string_view contents);
