// The message box of Windows, owned by the foreground window.
#include <windows.h>

#include "platform/system/UserInterface.h"

void ShowMessageBox(const wchar_t* caption, const wchar_t* text) {
    MessageBoxW(GetForegroundWindow(), text, caption, MB_OK);
}
