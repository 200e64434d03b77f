// The colour language: "[bright] NAME [on [bright] NAME]", case-blind. Names use the
// console's numbering: black 0, blue 1, green 2, cyan 3, red 4, magenta 5, yellow (brown) 6,
// white (grey, gray) 7; "bright" adds 8.
#pragma once
#include <string>
#include <string_view>

// Fills foreground (-1 when the text is unusable) and background (-1 when no "on" part).
// Returns 0, or -1 when the text is unusable.
int ParseColorText(std::wstring_view text, int& foreground, int& background);

// The description of an attribute in the same language, e.g. "bright white on blue".
std::wstring DescribeColor(int attribute);
