// The eight services that plug-ins call. Every call writes its whole text at once and leaves
// nothing buffered, so the module's direct console writes stay in order with it.
#include <cstdarg>
#include <string>

#include "host/Colors.h"
#include "host/HostState.h"
#include "host/OutputText.h"
#include "platform/host/HostIo.h"
#include "sdk/CorvanePlugin.h"

namespace {

// The module's buffers hold 1024 or 8192 characters and the host cannot tell which; the
// smaller size is the safe one.
constexpr size_t ExpandCapacity = 1024;

int WriteFormatted(int fd, const wchar_t* format, va_list args) {
    std::wstring text = FormatToString(format, args);
    CorvaneWrite(fd, text.data(), text.size());
    return static_cast<int>(text.size());
}

// The services are called from plug-ins, across a C boundary: running out of memory gives -1,
// never an exception.
template <typename Service> int Guarded(Service service) {
    try {
        return service();
    } catch (...) {
        return -1;
    }
}

} // namespace

extern "C" {

int Printf(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int n = Guarded([&] { return WriteFormatted(1, format, args); });
    va_end(args);
    return n;
}

int Qprintf(HostHandle handle, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int n = Guarded([&] { return WriteFormatted(HostHandleToDescriptor(handle), format, args); });
    va_end(args);
    return n;
}

int QPuts(const wchar_t* text) {
    if (text == nullptr) return -1;
    return Guarded([text] {
        std::wstring_view view(text);
        CorvaneWrite(1, view.data(), view.size());
        return 0;
    });
}

int ExpandVariables(wchar_t* buffer, int) {
    if (buffer == nullptr) return -1;
    return Guarded([buffer] {
        std::wstring text(buffer);
        return CorvaneExpand(text.c_str(), buffer, ExpandCapacity);
    });
}

int SetColors(int attribute) {
    CorvaneSetColor(attribute);
    return 0;
}

int GetAttribute(int* attribute, int*) {
    if (attribute != nullptr) *attribute = CorvaneGetColor();
    return 0;
}

int ParseColors(const wchar_t* text, int* foreground, int* background) {
    int fg = -1, bg = -1;
    int result = text != nullptr ? Guarded([&] { return ParseColorText(text, fg, bg); }) : -1;
    if (foreground != nullptr) *foreground = fg;
    if (background != nullptr) *background = bg;
    return result;
}

// Output is never buffered here, so there is nothing to flush.
int tty_yield(int) {
    return 0;
}
}
