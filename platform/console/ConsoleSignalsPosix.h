// Signals of a POSIX terminal as console-control events, and the terminal put back when a
// signal ends the process. POSIX only: a Windows console delivers these events to the console
// control handler itself. ConsoleSetCtrlHandler (platform/console/Console.h) is defined here:
// SIGINT is Ctrl-C (event 0), SIGQUIT Ctrl-Break (event 1, Ctrl-\ on a terminal).
#pragma once

// Puts the terminal's mode back as it was found; safe in a signal handler.
using ConsoleTerminalRestore = void (*)();

// While a restore function is set, SIGTERM and SIGHUP first call it and put the default
// colours back, then take the action they had before (ending the process with the same signal
// when that was the default); a Ctrl-C or Ctrl-Break passed on to the action before ours, and
// the control handler's removal, call it too. Key mode sets it (to its own leaving) and takes
// it away (null): the signals job knows no more of key mode than this function. A signal that
// was ignored stays ignored.
void ConsoleGuardTerminal(ConsoleTerminalRestore restore);
