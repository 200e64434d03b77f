// The host's signal behaviour on Windows. Ctrl-C and Ctrl-Break are console-control events,
// handled by the host's control handler (HostTerminalWin.cpp); there are no signals to set up,
// the console's line input keeps a typed-ahead end of input, and the console keeps its own
// mode when the process ends.
#include "platform/host/HostSignals.h"

void HostInstallSignals() {}

void HostKeepTypedEndOfInput(bool) {}

void HostRestoreTerminal() {}
