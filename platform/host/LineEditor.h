// The interactive prompt's line editor with history, for a terminal on standard input: libedit
// on POSIX, with the history kept between sessions (EditorHistoryPosix.h) and Tab completion
// through the command processor's completer (LineCompletion.h); the console's own line input
// on Windows. While it reads, Ctrl-C is in AtPrompt mode (HostTerminal.h); afterwards in
// InCommand mode.
#pragma once
#include <string>

enum class HostReadResult { Line, EndOfInput, Cancelled };
bool HostEditorOpen(const char* program);
HostReadResult HostEditorRead(const std::wstring& prompt, std::wstring& line);
void HostEditorClose();
