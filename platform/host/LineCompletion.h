// Tab completion at the interactive prompt. The command processor says what a Tab completes;
// the line editor (where there is one of ours) asks it and edits the line. Nothing here
// touches the system, so an editor that has no Tab completion simply never asks.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct LineCompletion {
    size_t replace = 0;                // characters before the cursor to replace
    std::wstring text;                 // what replaces them
    std::vector<std::wstring> choices; // listed when the replacement changes nothing
};

// Given the text before the cursor, what a Tab does.
using LineCompleter = std::function<LineCompletion(std::wstring_view beforeCursor)>;

void HostSetLineCompleter(LineCompleter completer);
const LineCompleter& HostLineCompleter();
