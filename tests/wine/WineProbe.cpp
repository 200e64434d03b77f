// A small program that calls the system functions whose results differ between wine and
// Windows, and prints what they give, so that each difference can be shown on its own:
//   wine_probe query NAME TYPE SERVERS [OPTIONS]
//                                       DnsQuery_W (SERVERS: addresses separated by commas;
//                                       OPTIONS in hexadecimal, 48 when not given): the
//                                       status, then type and section of every record
//   wine_probe idna NAME                IdnToAscii: the ASCII form, or "no form"
//   wine_probe message CODE             FormatMessageW (flags 0x12FF) for a status code
//   wine_probe servers                  GetNetworkParams: the DNS server list
#include <iphlpapi.h>
#include <windns.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int Query(const wchar_t* name, const wchar_t* type, const wchar_t* serverList,
          const wchar_t* options) {
    // IP4_ARRAY with room for four addresses.
    DWORD array[1 + 4] = {};
    std::wstring texts(serverList);
    for (size_t at = 0; at <= texts.size() && array[0] < 4;) {
        size_t comma = texts.find(L',', at);
        if (comma == std::wstring::npos) comma = texts.size();
        std::wstring text = texts.substr(at, comma - at);
        if (InetPtonW(AF_INET, text.c_str(), &array[1 + array[0]]) != 1) return 2;
        ++array[0];
        at = comma + 1;
    }
    auto* servers = reinterpret_cast<IP4_ARRAY*>(array);
    PDNS_RECORD list = nullptr;
    DNS_STATUS status =
        DnsQuery_W(name, static_cast<WORD>(_wtoi(type)),
                   static_cast<DWORD>(std::wcstoul(options, nullptr, 16)), servers, &list, nullptr);
    std::printf("status %ld\n", static_cast<long>(status));
    for (PDNS_RECORD record = list; record != nullptr; record = record->pNext)
        std::printf("record type %u section %u\n", record->wType,
                    static_cast<unsigned>(record->Flags.S.Section));
    if (list != nullptr) DnsFree(list, DnsFreeRecordList);
    return 0;
}

int Message(const wchar_t* code) {
    wchar_t text[1024];
    DWORD n =
        FormatMessageW(0x12FF, nullptr, static_cast<DWORD>(_wtoi(code)), 0, text, 1024, nullptr);
    if (n == 0)
        std::printf("no text\n");
    else
        std::printf("text %ls\n", text);
    return 0;
}

int Idna(const wchar_t* name) {
    wchar_t ascii[256];
    int n = IdnToAscii(0, name, -1, ascii, 256);
    if (n > 0)
        std::printf("ascii %ls\n", ascii);
    else
        std::printf("no form\n");
    return 0;
}

int Servers() {
    ULONG size = 0;
    GetNetworkParams(nullptr, &size);
    std::vector<unsigned char> block(size != 0 ? size : 1);
    auto* info = reinterpret_cast<FIXED_INFO*>(block.data());
    if (GetNetworkParams(info, &size) != ERROR_SUCCESS) return 1;
    for (IP_ADDR_STRING* entry = &info->DnsServerList; entry != nullptr; entry = entry->Next)
        std::printf("server %s\n", entry->IpAddress.String);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if ((argc == 5 || argc == 6) && std::wcscmp(argv[1], L"query") == 0)
        return Query(argv[2], argv[3], argv[4], argc == 6 ? argv[5] : L"48");
    if (argc == 3 && std::wcscmp(argv[1], L"message") == 0) return Message(argv[2]);
    if (argc == 2 && std::wcscmp(argv[1], L"servers") == 0) return Servers();
    if (argc == 3 && std::wcscmp(argv[1], L"idna") == 0) return Idna(argv[2]);
    std::fprintf(
        stderr, "usage: wine_probe query NAME TYPE SERVERS | idna NAME | message CODE | servers\n");
    return 2;
}
