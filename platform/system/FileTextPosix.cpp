#include <cerrno>
#include <fcntl.h>
#include <new>
#include <unistd.h>

#include "platform/system/FileText.h"

FileTextResult ReadFileText(const char* path, size_t maxBytes, std::string& contents) noexcept {
    contents.clear();
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FileTextResult::Failed;
    FileTextResult result = FileTextResult::Read;
    char buffer[8192];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result = FileTextResult::Failed;
        if (got <= 0) break;
        size_t room = maxBytes - contents.size();
        size_t take = static_cast<size_t>(got) < room ? static_cast<size_t>(got) : room;
        try {
            contents.append(buffer, take);
        } catch (const std::bad_alloc&) {
            result = FileTextResult::Failed;
            break;
        }
        if (take < static_cast<size_t>(got)) {
            result = FileTextResult::TooLarge;
            break;
        }
    }
    close(fd);
    return result;
}
