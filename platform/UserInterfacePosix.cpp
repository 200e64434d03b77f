// Placeholder until this service is implemented.
#include "platform/UserInterface.h"

void ShowMessageBox(const wchar_t*, const wchar_t*) {}
