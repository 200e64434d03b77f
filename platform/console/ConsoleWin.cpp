// The Windows console: standard handles, console mode, screen-buffer information and text
// attributes, direct writes with WriteConsoleW, the keyboard through _kbhit and _getwch, and
// console-control events through SetConsoleCtrlHandler.
#include <windows.h>

#include <conio.h>

#include <atomic>

#include "platform/console/Console.h"

namespace {

HANDLE OpenConsoleDevice() {
    // Read and write access, shared for writing only, as the console is opened everywhere here.
    return CreateFileW(L"conout$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The console device for direct writes while standard output goes elsewhere: opened on first
// use, closed when the module or program ends. An atomic, not a function-local static: the
// compiler guards those through the threads library, which leaves two handles of its own
// behind on the first thread that passes the guard (the host's) at every load of the module.
std::atomic<HANDLE> Device{nullptr};

struct DeviceCloser {
    DeviceCloser() = default;
    DeviceCloser(const DeviceCloser&) = delete;
    DeviceCloser& operator=(const DeviceCloser&) = delete;
    ~DeviceCloser() {
        HANDLE device = Device.exchange(nullptr);
        if (device != nullptr && device != INVALID_HANDLE_VALUE) CloseHandle(device);
    }
} CloseDeviceAtEnd;

HANDLE DirectOutput() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode))
        return output;
    HANDLE device = Device.load();
    if (device != nullptr) return device;
    HANDLE opened = OpenConsoleDevice();
    // Two threads at once: the first one's device is kept, the other one closed.
    if (Device.compare_exchange_strong(device, opened)) return opened;
    if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
    return device;
}

// The module's handler, called by the system's console-control thread through Dispatch.
std::atomic<ConsoleCtrlHandler> Registered{nullptr};

BOOL WINAPI Dispatch(DWORD event) {
    ConsoleCtrlHandler handler = Registered.load();
    return handler != nullptr && handler(event) != 0 ? TRUE : FALSE;
}

} // namespace

ConsoleHandle ConsoleStdOutput() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}
ConsoleHandle ConsoleStdError() {
    return GetStdHandle(STD_ERROR_HANDLE);
}

bool ConsoleGetMode(ConsoleHandle handle, uint32_t* mode) {
    DWORD value = mode != nullptr ? *mode : 0;
    if (handle == nullptr || !GetConsoleMode(handle, &value)) return false;
    if (mode != nullptr) *mode = value;
    return true;
}

bool ConsoleGetScreenInfo(ConsoleHandle handle, ConsoleScreenInfo* info) {
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    if (handle == nullptr || info == nullptr || !GetConsoleScreenBufferInfo(handle, &buffer))
        return false;
    info->Left = buffer.srWindow.Left;
    info->Top = buffer.srWindow.Top;
    info->Right = buffer.srWindow.Right;
    info->Bottom = buffer.srWindow.Bottom;
    info->Attributes = buffer.wAttributes;
    return true;
}

bool ConsoleSetAttribute(ConsoleHandle handle, uint16_t attribute) {
    return handle != nullptr && SetConsoleTextAttribute(handle, attribute);
}

ConsoleHandle ConsoleOpenOutput(bool* absent) {
    // A process may be given a console at any time: a failure is never final here.
    if (absent != nullptr) *absent = false;
    HANDLE handle = OpenConsoleDevice();
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void ConsoleClose(ConsoleHandle handle) {
    if (handle != nullptr) CloseHandle(handle);
}

bool ConsoleWriteDirect(const wchar_t* text, size_t length) {
    HANDLE output = DirectOutput();
    if (text == nullptr || output == INVALID_HANDLE_VALUE) return false;
    while (length > 0) {
        DWORD chunk = length > 8192 ? 8192 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteConsoleW(output, text, chunk, &written, nullptr) || written == 0) return false;
        text += written;
        length -= written;
    }
    return true;
}

bool ConsoleKeyHit() {
    return _kbhit() != 0;
}

int ConsoleReadKey() {
    return static_cast<int>(_getwch());
}

bool ConsoleSetCtrlHandler(ConsoleCtrlHandler handler, bool add) {
    if (add) {
        Registered.store(handler);
        return SetConsoleCtrlHandler(Dispatch, TRUE);
    }
    if (Registered.load() != handler) return false;
    BOOL removed = SetConsoleCtrlHandler(Dispatch, FALSE);
    Registered.store(nullptr);
    return removed;
}
