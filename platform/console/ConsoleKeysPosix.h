// The console's keyboard: key mode and key decoding behind ConsoleKeyHit and ConsoleReadKey
// (platform/console/Console.h).
#pragma once

// Key mode: no line editing, no echo, no signals from the keyboard, so that keys typed
// between two polls are neither echoed nor held back for a line end. Entered by the key-hit
// test, kept through the key wait, left after a key was read, before console output, when a
// break passes on to the previous handler, on SIGTERM and SIGHUP, and at exit.
// False when the keyboard cannot be read.
bool ConsoleEnterKeyMode();
// Puts the terminal mode back as key mode found it; nothing when key mode is off. Safe in a
// signal handler.
void ConsoleLeaveKeyMode();
