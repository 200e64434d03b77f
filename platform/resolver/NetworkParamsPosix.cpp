// The system's DNS servers: the "nameserver" lines of the resolver configuration, read the way
// the C library reads them (keyword at the start of the line, then blanks, then the address).
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/resolver/NetworkParams.h"
#include "platform/resolver/ResolvConfPosix.h"
#include "platform/system/FileText.h"
#include "platform/text/Blanks.h"

namespace {

constexpr const char* ResolvConfPath = "/etc/resolv.conf";
// A resolver configuration is a few lines; anything beyond this is not one worth reading.
constexpr size_t MaxFileSize = 1 << 20;

} // namespace

int ParseResolvConfServers(std::string_view text, char (*texts)[NetworkServerTextSize],
                           int capacity) {
    constexpr std::string_view Keyword = "nameserver";
    int count = 0;
    while (!text.empty() && count < capacity && texts != nullptr) {
        size_t lineEnd = text.find('\n');
        std::string_view line = text.substr(0, lineEnd);
        text = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);

        if (!line.starts_with(Keyword) || line.size() == Keyword.size() ||
            !IsLineBlank(line[Keyword.size()]))
            continue;
        size_t start = Keyword.size();
        while (start < line.size() && IsLineBlank(line[start]))
            ++start;
        size_t end = start;
        while (end < line.size() && !IsLineBlank(line[end]))
            ++end;
        if (end == start) continue;
        size_t length = std::min(end - start, NetworkServerTextSize - 1);
        std::memcpy(texts[count], line.data() + start, length);
        texts[count][length] = 0;
        ++count;
    }
    return count;
}

int ReadResolvConfServers(const char* path, char (*texts)[NetworkServerTextSize], int capacity) {
    std::string content;
    if (ReadFileText(path, MaxFileSize, content) == FileTextResult::Failed) return -1;
    return ParseResolvConfServers(content, texts, capacity);
}

int NetworkDnsServerTexts(char (*texts)[NetworkServerTextSize], int capacity) {
    return ReadResolvConfServers(ResolvConfPath, texts, capacity);
}
