// The prompt's history between sessions, for the line editor: the file
// ${XDG_STATE_HOME:-~/.local/state}/corvane/history, readable by its owner only.
#pragma once
#include <histedit.h>

#include <string>

// Lines the history keeps, in memory and in the file.
inline constexpr int EditorHistoryLines = 500;

// The history file's path; empty when there is no home folder to keep it in.
std::string EditorHistoryFile();

// Reads the file into history; a file that does not exist yet gives nothing.
void EditorHistoryLoad(History* history, const std::string& path);

// Replaces the file with history, mode 0600 whatever the old file had, creating its folders
// (mode 0700) as needed. The new file is written beside it first and then renamed over it,
// so a failed write leaves the old history.
bool EditorHistorySave(History* history, const std::string& path);
