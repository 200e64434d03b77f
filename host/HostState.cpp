#include "host/HostState.h"

#include <string>
#include <vector>

#include "host/Expand.h"
#include "host/OutputText.h"
#include "platform/host/HostIo.h"
#include "platform/text/AsciiCase.h"

namespace {

struct BatchFrame {
    std::wstring path;
    int line = 0;
};

struct HostStateRecord {
    int transient = 0;
    int pipe = 0;
    int color = 0x07;
    std::vector<BatchFrame> batches;
};

HostStateRecord State;

bool LookupEnvironment(std::wstring_view name, std::wstring& value) {
    if (HostGetEnv(std::wstring(name), value)) return true;
    // Names are case-blind for the user, as in the set command.
    for (auto& [key, text] : HostListEnv()) {
        if (SameName(key, name)) {
            value = text;
            return true;
        }
    }
    return false;
}

bool LookupVariable(std::wstring_view name, std::wstring& value) {
    if (SameName(name, L"_batch")) {
        value = std::to_wstring(State.batches.size());
    } else if (SameName(name, L"_batchname")) {
        value = State.batches.empty() ? L"" : State.batches.back().path;
    } else if (SameName(name, L"_batchline")) {
        value = State.batches.empty() ? L"0" : std::to_wstring(State.batches.back().line);
    } else if (SameName(name, L"_transient")) {
        value = State.transient ? L"1" : L"0";
    } else if (SameName(name, L"_pipe")) {
        value = State.pipe ? L"1" : L"0";
    } else {
        return LookupEnvironment(name, value);
    }
    return true;
}

} // namespace

extern "C" {

void CorvaneSetMode(int transient, int pipe) {
    State.transient = transient != 0;
    State.pipe = pipe != 0;
}

void CorvaneEnterBatch(const wchar_t* path) {
    State.batches.push_back({path != nullptr ? path : L"", 0});
}

void CorvaneSetBatchLine(int line) {
    if (!State.batches.empty()) State.batches.back().line = line;
}

void CorvaneLeaveBatch() {
    if (!State.batches.empty()) State.batches.pop_back();
}

int CorvaneBatchLevel() {
    return static_cast<int>(State.batches.size());
}

void CorvaneSetColor(int attribute) {
    State.color = attribute & 0xFF;
}

int CorvaneGetColor() {
    return State.color;
}

void CorvaneWrite(int fd, const wchar_t* text, size_t length) {
    if (text == nullptr) return;
    HostWrite(fd, OutputBytes(std::wstring_view(text, length)));
}

int CorvaneExpand(const wchar_t* text, wchar_t* out, size_t capacity) {
    if (text == nullptr) return -1;
    return CopyLimited(ExpandText(text, LookupVariable), out, capacity) ? 0 : -1;
}
}
