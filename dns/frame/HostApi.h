// The services of the Corvane host that the module calls. All text is wide; no result is
// tested by the module.
#pragma once

using HostHandle = void*;

extern "C" {
int Printf(const wchar_t* format, ...);
int Qprintf(HostHandle handle, const wchar_t* format, ...);
int QPuts(const wchar_t* text);
int ExpandVariables(wchar_t* buffer, int flag);
int SetColors(int attribute);
int GetAttribute(int* attribute, int* unused);
int ParseColors(const wchar_t* text, int* foreground, int* background);
int tty_yield(int flag);
}
