#include "platform/host/EditorHistoryPosix.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* entry = getpwuid(getuid());
        entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return {};
}

// Creates every missing folder of path, each mode 0700 (the XDG rule for state folders).
bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

} // namespace

std::string EditorHistoryFile() {
    // A relative XDG_STATE_HOME is ignored, as the XDG rules say.
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
        state = xdg;
    } else {
        std::string home = HomeFolder();
        if (home.empty()) return {};
        state = home + "/.local/state";
    }
    return state + "/corvane/history";
}

void EditorHistoryLoad(History* history, const std::string& path) {
    HistEvent event;
    ::history(history, &event, H_LOAD, path.c_str());
}

bool EditorHistorySave(History* history, const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || !MakeFolders(path.substr(0, slash)))
        return false;
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(temporary.data()); // mode 0600
    if (fd < 0) return false;
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    HistEvent event;
    bool written = ::history(history, &event, H_SAVE_FP, file) >= 0;
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
