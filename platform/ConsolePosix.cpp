// Placeholder until this service is implemented.
#include "platform/Console.h"

ConsoleHandle ConsoleStdOutput() { return nullptr; }
ConsoleHandle ConsoleStdError() { return nullptr; }
bool ConsoleGetMode(ConsoleHandle, uint32_t*) { return false; }
bool ConsoleGetScreenInfo(ConsoleHandle, ConsoleScreenInfo*) { return false; }
bool ConsoleSetAttribute(ConsoleHandle, uint16_t) { return false; }
ConsoleHandle ConsoleOpenOutput() { return nullptr; }
void ConsoleClose(ConsoleHandle) {}
bool ConsoleWriteDirect(const wchar_t*, size_t) { return false; }
bool ConsoleKeyHit() { return false; }
int ConsoleReadKey() { return 27; }
bool ConsoleSetCtrlHandler(ConsoleCtrlHandler, bool) { return false; }
