// The host's own signal behaviour and the terminal it leaves behind.
#pragma once

// Ctrl-\ (SIGQUIT; Ctrl-Break on a console) never ends the host: it gets a handler that does
// nothing, rather than an inherited "ignore", so that a program the host starts gets the
// default action back. A plug-in's break handler may take it over while a command runs.
// SIGTERM and SIGHUP put the terminal back (see HostRestoreTerminal), then end the host with
// the same signal. Also notes the terminal mode of standard input as found at start.
void HostInstallSignals();

// While the interactive prompt runs, the terminal's end-of-file character is switched off:
// in the terminal's line mode, between two prompts, a Ctrl-D typed ahead would otherwise
// reach the line editor as a NUL byte and be lost. Switched off, it stays in the input as the
// byte 4, which the line editor reads as end of input at an empty line. The line editor puts
// its own idea of the line mode back whenever it returns a line: call again after each read.
void HostKeepTypedEndOfInput(bool on);

// The terminal mode of standard input as the host found it, and the terminal's default
// colours. Safe in a signal handler.
void HostRestoreTerminal();
