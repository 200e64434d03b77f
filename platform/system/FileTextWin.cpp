// Reading a whole small file on Windows; the path is UTF-8, as everywhere in the program.
#include <windows.h>

#include <new>
#include <string>

#include "platform/system/FileText.h"

namespace {
struct FileHandle {
    HANDLE handle;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
} // namespace

FileTextResult ReadFileText(const char* path, size_t maxBytes, std::string& contents) noexcept {
    contents.clear();
    if (path == nullptr) return FileTextResult::Failed;
    int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (length <= 0) return FileTextResult::Failed;
    std::wstring wide;
    try {
        wide.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return FileTextResult::Failed;
    }
    MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), length);
    FileHandle file{CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return FileTextResult::Failed;

    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.handle, buffer, sizeof buffer, &got, nullptr))
            return FileTextResult::Failed;
        if (got == 0) return FileTextResult::Read;
        size_t room = maxBytes - contents.size();
        size_t take = got < room ? got : room;
        try {
            contents.append(buffer, take);
        } catch (const std::bad_alloc&) {
            return FileTextResult::Failed;
        }
        if (take < got) return FileTextResult::TooLarge;
    }
}
