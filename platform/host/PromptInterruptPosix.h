// The prompt's Ctrl-C, between the terminal's handler (HostTerminalPosix.cpp) and the line
// editor's reader (LineEditorPosix.cpp): at the prompt the handler also writes a byte to a pipe,
// so that the reader notices a Ctrl-C even when it comes while the editor is between two reads
// (a flag alone would then be seen only after the next key). Whether it is this prompt's
// Ctrl-C, HostInterruptPending (HostTerminal.h) says.
#pragma once

// Opens the pipe, once; without one the reader sees the flag alone.
void HostOpenInterruptPipe();
// The pipe's end that the reader waits on; -1 when there is none.
int HostInterruptPipeFd();
// Empties the pipe, whenever the reader wakes on it.
void HostDrainInterruptPipe();
void HostCloseInterruptPipe();
