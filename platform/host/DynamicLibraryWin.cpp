// Loading plug-in modules with LoadLibraryW.
#include <windows.h>

#include "platform/host/DynamicLibrary.h"

namespace {
std::wstring LastErrorText() {
    DWORD code = GetLastError();
    wchar_t text[1024] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_MAX_WIDTH_MASK,
                             nullptr, code, 0, text, 1024, nullptr);
    std::wstring reason = n != 0 ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    while (!reason.empty() && reason.back() == L' ')
        reason.pop_back();
    return reason;
}
} // namespace

LibraryHandle LibraryOpen(const std::wstring& path, std::wstring& error) {
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) error = LastErrorText();
    return library;
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void LibraryClose(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

std::wstring LibraryPathIn(const std::wstring& directory, const wchar_t* name) {
    return (directory.empty() ? std::wstring(L".") : directory) + L"\\" + name + L".dll";
}
