// Address conversions of Windows sockets: inet_addr, InetNtopW, WSAStringToAddressW and
// WSAAddressToStringW. The socket library is started once, before the first call that needs it.
#include "platform/text/SocketLibrary.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cwchar>

#include "platform/text/Sockets.h"

namespace {
// 0 until the socket library was started, then 1, or -1 when it could not be.
std::atomic<int> SocketLibraryState{0};

// Longer than any address text with brackets, scope and port; a longer text is no address.
constexpr size_t MaxAddressText = 128;

void Empty(wchar_t* buffer, size_t capacity) {
    if (buffer != nullptr && capacity > 0) buffer[0] = L'\0';
}
} // namespace

bool SocketLibraryStarted() {
    // Started for the life of the process: WSACleanup must not run while the module unloads
    // (under the loader lock), and a second start only counts up, so two threads may both
    // start it. An atomic, not a function-local static: the compiler guards those through the
    // threads library, which leaves handles of its own behind on the host's thread.
    int state = SocketLibraryState.load();
    if (state == 0) {
        WSADATA data;
        state = WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 1 : -1;
        SocketLibraryState.store(state);
    }
    return state > 0;
}

uint32_t SockInetAddr(const char* text) {
    if (text == nullptr) return SockInvalidAddress;
    SocketLibraryStarted();
    return inet_addr(text);
}

bool SockInetNtop4(uint32_t address, wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    in_addr in{};
    in.s_addr = address;
    if (InetNtopW(AF_INET, &in, buffer, capacity) == nullptr) {
        Empty(buffer, capacity);
        return false;
    }
    return true;
}

bool SockInetNtop6(const uint8_t address[16], wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    if (address == nullptr || InetNtopW(AF_INET6, address, buffer, capacity) == nullptr) {
        Empty(buffer, capacity);
        return false;
    }
    return true;
}

bool SockStringToAddress6(const wchar_t* text, SockAddr6* address) {
    if (text == nullptr || address == nullptr || !SocketLibraryStarted()) return false;
    // The call takes a writable text.
    wchar_t copy[MaxAddressText];
    size_t length = std::wcslen(text);
    if (length >= MaxAddressText) return false;
    std::wmemcpy(copy, text, length + 1);
    SockAddr6 parsed{};
    INT size = sizeof parsed;
    if (WSAStringToAddressW(copy, AF_INET6, nullptr, reinterpret_cast<sockaddr*>(&parsed), &size) !=
        0)
        return false;
    *address = parsed;
    return true;
}

bool SockAddress6ToString(const SockAddr6* address, wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    if (address == nullptr || address->sin6_family != AF_INET6 || !SocketLibraryStarted()) {
        Empty(buffer, capacity);
        return false;
    }
    DWORD length = static_cast<DWORD>(capacity);
    SockAddr6 copy = *address; // the call takes a writable address
    if (WSAAddressToStringW(reinterpret_cast<sockaddr*>(&copy), sizeof copy, nullptr, buffer,
                            &length) != 0) {
        Empty(buffer, capacity);
        return false;
    }
    return true;
}
