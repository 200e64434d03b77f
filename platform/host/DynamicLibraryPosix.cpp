#include <dlfcn.h>

#include "platform/host/DynamicLibrary.h"
#include "platform/text/Text.h"

LibraryHandle LibraryOpen(const std::wstring& path, std::wstring& error) {
    // Local binding: two plug-ins may export the same entry point names.
    void* library = dlopen(WideToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? Utf8ToWide(reason) : L"cannot load";
    }
    return library;
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

void LibraryClose(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

std::wstring LibraryPathIn(const std::wstring& directory, const wchar_t* name) {
    return (directory.empty() ? std::wstring(L".") : directory) + L"/" + name + L".so";
}
