// The command processor's state that its services read: the run mode, the batch file stack
// and the current colour. The services library owns it; the executable updates it through
// these functions, the only ones besides the eight services that the library exports.
#pragma once
#include <cstddef>

extern "C" {
// transient: started with -c; pipe: command lines come from a pipe, not a terminal.
void CorvaneSetMode(int transient, int pipe);
// Batch files nest; Enter pushes the file (its full path), Leave pops it.
void CorvaneEnterBatch(const wchar_t* path);
void CorvaneSetBatchLine(int line);
void CorvaneLeaveBatch();
int CorvaneBatchLevel();
// The current colour attribute (what GetAttribute reports and SetColors records).
void CorvaneSetColor(int attribute);
int CorvaneGetColor();
// Writes wide text to a descriptor as the services do (UTF-8, "\r\n" as "\n").
void CorvaneWrite(int fd, const wchar_t* text, size_t length);
// Expands variable references in text into out (capacity characters, terminator included).
// Returns 0, or -1 when the expansion had to be cut.
int CorvaneExpand(const wchar_t* text, wchar_t* out, size_t capacity);
}
