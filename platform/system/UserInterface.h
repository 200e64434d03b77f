// User-interface service: a message box that shows a caption and text and waits for the
// user's acknowledgement.
#pragma once

void ShowMessageBox(const wchar_t* caption, const wchar_t* text);
