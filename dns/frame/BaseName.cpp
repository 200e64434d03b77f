// The file name part of a build path, as the version banner shows it.
#include "dns/frame/BaseName.h"

const wchar_t* SourceBaseName(const wchar_t* path) {
    const wchar_t* base = path;
    bool slashSeen = false;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'/' || *p == L'\\') {
            slashSeen = true;
            base = p + 1;
        } else if (*p == L':' && !slashSeen) {
            base = p + 1;
        }
    }
    return base;
}
