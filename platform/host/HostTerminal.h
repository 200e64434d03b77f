// Host terminal service: whether the standard streams are terminals, the host's own Ctrl-C
// handling and the terminal colour. The prompt's line editor is LineEditor.h.
#pragma once

enum class HostStream { Input = 0, Output = 1, Error = 2 };
bool HostIsTerminal(HostStream stream);

// Ctrl-C. The handler is a plain sigaction handler, so that a plug-in's console handler can
// replace it while a command runs and restore it afterwards.
// AtPrompt: Ctrl-C cancels the line being edited (the read is interrupted).
// InCommand: the first Ctrl-C is remembered and echoed as "^C"; a second one ends the
// process with status 130.
enum class HostInterruptMode { AtPrompt, InCommand };
void HostSetInterruptMode(HostInterruptMode mode);
// Whether a Ctrl-C arrived since the last call; clears it.
bool HostTakeInterrupt();
// Whether a Ctrl-C arrived since the mode was last set or the last HostTakeInterrupt, leaving
// it in place: the line editor's read ends on it.
bool HostInterruptPending();

// The process's character type (LC_CTYPE), in which the line editor shows and edits text: the
// user's locale when its character set is UTF-8, else C.UTF-8, since corvane reads and writes
// UTF-8. Nothing on Windows, whose console reads and writes wide text.
void HostUseUtf8CharacterType();

// Sets the terminal's colour to a console attribute (low 4 bits foreground, high 4 bits
// background); 0x07 restores the terminal's default. Does nothing when standard output is
// not a terminal.
void HostApplyColor(int attribute);
