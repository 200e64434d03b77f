// Signals of a POSIX terminal as console-control events, and the terminal put back when a
// signal ends the process. POSIX only: a Windows console delivers these events to the console
// control handler itself. ConsoleSetCtrlHandler (platform/console/Console.h) is defined here:
// SIGINT is Ctrl-C (event 0), SIGQUIT Ctrl-Break (event 1, Ctrl-\ on a terminal).
#pragma once

// While on, SIGTERM and SIGHUP first leave key mode and put the default colours back, then
// take the action they had before (ending the process with the same signal when that was
// the default). Key mode turns it on and off; a signal that was ignored stays ignored.
void ConsoleGuardTerminal(bool on);
