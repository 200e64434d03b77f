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

// The command line that words given one by one stand for (corvane -c WORD...): joined by one
// blank, a word that holds white space or quotes (or nothing) in quotes with its own quotes
// doubled, so that a command splitting at blanks outside quotes sees it as one argument.
std::wstring CommandLineFromWords(const std::vector<std::wstring>& words);

// Blank lines and comments ("rem", "::", "#") do not run.
bool IsSkippedLine(std::wstring_view line);

// A file's text as lines: UTF-8 (a leading byte-order mark dropped), "\n" or "\r\n" ends.
std::vector<std::wstring> SplitLines(std::string_view contents);
