// The ways corvane takes its command lines.
#pragma once
#include <string>

#include "host/Shell.h"

// Prompt with line editing and history, until exit or end of input.
int RunInteractive(Shell& shell);
// Command lines from standard input (a pipe or file), no prompt.
int RunPiped(Shell& shell);
