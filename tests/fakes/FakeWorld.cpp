// The fake world: host services and platform services recorded and scripted for unit tests.
#include "tests/fakes/FakeWorld.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwctype>
#include <memory>

#include "dns/frame/HostApi.h"
#include "platform/resolver/AddrInfo.h"
#include "platform/resolver/NetworkParams.h"
#include "platform/system/Clock.h"
#include "platform/system/Messages.h"
#include "platform/system/UserInterface.h"
#include "platform/text/Text.h"
#include "tests/fakes/Records.h"

namespace fake {
std::wstring Out, Err, Screen;
std::map<std::wstring, std::wstring> Variables;
int HostAttribute;
std::vector<int> ColorsSet;
int TtyYields;
std::map<std::wstring, std::pair<int, int>> ColorNames;
bool StdoutIsConsole, ScreenInfoFails, ConsoleDeviceOpens, ConsoleAbsent;
ConsoleScreenInfo Window;
std::wstring Direct;
std::vector<uint16_t> AttributeChanges;
std::deque<int> Keys;
ConsoleCtrlHandler CtrlHandler;
int CtrlHandlerCalls;
std::function<void()> OnSleep;
std::function<void()> OnDirect;
uint64_t SystemTime;
uint32_t Ticks;
std::map<std::wstring, std::wstring> Environment;
std::map<std::tuple<SettingsRoot, std::wstring, std::wstring>, RegistryValue> Registry;
std::map<std::pair<std::wstring, uint16_t>, Reply> Answers;
std::vector<Query> Queries;
int OpenResultLists;
int ClientShutdowns;
std::map<std::pair<std::wstring, uint16_t>, uint32_t> LatencyMs;
std::set<std::pair<std::wstring, uint16_t>> Muted;
std::set<std::wstring> Unsendable;
size_t InFlight, MaxInFlight;
int SessionsOpen;
std::vector<uint32_t> SessionOptions;
std::function<void()> OnWait;
std::map<std::wstring, std::vector<std::string>> HostAddresses;
std::vector<std::string> ConfiguredServers;
bool NetworkFails;
std::vector<std::pair<std::wstring, std::wstring>> MessageBoxes;
std::map<uint32_t, std::wstring> MessageTexts;

void Reset() {
    Out.clear();
    Err.clear();
    Screen.clear();
    Variables = {{L"_batch", L"0"}, {L"_transient", L"0"}, {L"_pipe", L"0"}, {L"noloadmsg", L"0"}};
    HostAttribute = 0x07;
    ColorsSet.clear();
    TtyYields = 0;
    ColorNames.clear();
    StdoutIsConsole = true;
    ScreenInfoFails = false;
    ConsoleDeviceOpens = true;
    ConsoleAbsent = false;
    Window = ConsoleScreenInfo{0, 0, 79, 49, 0x07};
    Direct.clear();
    AttributeChanges.clear();
    Keys.clear();
    CtrlHandler = nullptr;
    CtrlHandlerCalls = 0;
    OnSleep = nullptr;
    OnDirect = nullptr;
    SystemTime = 0;
    Ticks = 1000;
    Environment.clear();
    Registry.clear();
    Answers.clear();
    Queries.clear();
    OpenResultLists = 0;
    ClientShutdowns = 0;
    LatencyMs.clear();
    Muted.clear();
    Unsendable.clear();
    InFlight = MaxInFlight = 0;
    SessionsOpen = 0;
    SessionOptions.clear();
    OnWait = nullptr;
    HostAddresses.clear();
    ConfiguredServers.clear();
    NetworkFails = false;
    MessageBoxes.clear();
    MessageTexts = {
        {0, L"The operation completed successfully.\r\n"},
        {1460, L"This operation returned because the timeout period expired.\r\n"},
        {9002, L"DNS server failure.\r\n"},
        {9003, L"DNS name does not exist.\r\n"},
        {9005, L"DNS operation refused.\r\n"},
        {9501, L"No records found for given DNS query.\r\n"},
    };
}

uint32_t Ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    uint8_t bytes[4] = {a, b, c, d};
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

Record A(const char* dotted) {
    Record r;
    r.type = 1;
    inet_pton(AF_INET, dotted, &r.a);
    return r;
}
Record AAAA(std::array<uint8_t, 16> address) {
    Record r;
    r.type = 28;
    r.bytes = address;
    return r;
}
Record Named(uint16_t type, std::wstring host) {
    Record r;
    r.type = type;
    r.host = std::move(host);
    return r;
}
Record MX(uint16_t preference, std::wstring exchange) {
    Record r = Named(15, std::move(exchange));
    r.preference = preference;
    return r;
}
Record SOA(std::wstring primary, std::wstring admin, std::array<uint32_t, 5> numbers) {
    Record r = Named(6, std::move(primary));
    r.admin = std::move(admin);
    r.soa = numbers;
    return r;
}
Record TXT(std::vector<std::wstring> strings) {
    Record r;
    r.type = 16;
    r.strings = std::move(strings);
    return r;
}
Record LOC(uint32_t latitude, uint32_t longitude, uint32_t altitude) {
    Record r;
    r.type = 29;
    uint32_t values[3] = {NetworkOrder(latitude), NetworkOrder(longitude), NetworkOrder(altitude)};
    std::memcpy(r.bytes.data() + 4, values, sizeof values);
    return r;
}
} // namespace fake

// ---- Host services ----
namespace {
std::wstring FormatToString(const wchar_t* format, va_list args) {
    va_list count;
    va_copy(count, args);
    int n = FormatWideV(nullptr, 0, format, count);
    va_end(count);
    if (n < 0) return L"";
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    FormatWideV(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}
void ToStdout(const std::wstring& text) {
    fake::Out += text;
    fake::Screen += text;
}
void* const FakeStdout = reinterpret_cast<void*>(1);
void* const FakeStderr = reinterpret_cast<void*>(2);
void* const FakeDevice = reinterpret_cast<void*>(3);
} // namespace

extern "C" {
int Printf(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatToString(format, args);
    va_end(args);
    ToStdout(text);
    return static_cast<int>(text.size());
}
int Qprintf(HostHandle handle, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatToString(format, args);
    va_end(args);
    if (handle == FakeStderr)
        fake::Err += text;
    else
        ToStdout(text);
    return static_cast<int>(text.size());
}
int QPuts(const wchar_t* text) {
    if (text != nullptr) ToStdout(text);
    return 0;
}
int ExpandVariables(wchar_t* buffer, int) {
    std::wstring in = buffer, out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != L'%') {
            out += in[i];
            continue;
        }
        std::wstring name;
        if (i + 1 < in.size() && in[i + 1] == L'[') {
            size_t close = in.find(L']', i + 2);
            if (close == std::wstring::npos) close = in.size();
            name = in.substr(i + 2, close - i - 2);
            i = close;
        } else {
            size_t j = i + 1;
            while (j < in.size() && (iswalnum(in[j]) || in[j] == L'_'))
                ++j;
            name = in.substr(i + 1, j - i - 1);
            i = j - 1;
        }
        auto found = fake::Variables.find(name);
        if (found != fake::Variables.end()) out += found->second;
    }
    size_t n = out.size() < 1023 ? out.size() : 1023;
    out.copy(buffer, n);
    buffer[n] = L'\0';
    return 0;
}
int SetColors(int attribute) {
    fake::ColorsSet.push_back(attribute);
    return 0;
}
int GetAttribute(int* attribute, int*) {
    if (attribute != nullptr) *attribute = fake::HostAttribute;
    return 0;
}
int ParseColors(const wchar_t* text, int* foreground, int* background) {
    auto found = fake::ColorNames.find(text != nullptr ? text : L"");
    if (found == fake::ColorNames.end()) return -1;
    *foreground = found->second.first;
    *background = found->second.second;
    return 0;
}
int tty_yield(int) {
    ++fake::TtyYields;
    return 0;
}
}

// ---- Console ----
ConsoleHandle ConsoleStdOutput() {
    return FakeStdout;
}
ConsoleHandle ConsoleStdError() {
    return FakeStderr;
}
bool ConsoleGetMode(ConsoleHandle handle, uint32_t* mode) {
    if (handle != FakeStdout || !fake::StdoutIsConsole) return false;
    if (mode != nullptr) *mode = 3;
    return true;
}
bool ConsoleGetScreenInfo(ConsoleHandle handle, ConsoleScreenInfo* info) {
    if (handle == nullptr || fake::ScreenInfoFails || !fake::StdoutIsConsole) return false;
    *info = fake::Window;
    return true;
}
bool ConsoleSetAttribute(ConsoleHandle handle, uint16_t attribute) {
    if (handle == nullptr) return false;
    fake::AttributeChanges.push_back(attribute);
    fake::Window.Attributes = attribute;
    wchar_t marker[8];
    FormatWide(marker, 8, L"<%02X>", attribute & 0xFFu);
    fake::Screen += marker;
    return true;
}
ConsoleHandle ConsoleOpenOutput(bool* absent) {
    if (absent != nullptr) *absent = !fake::ConsoleDeviceOpens && fake::ConsoleAbsent;
    return fake::ConsoleDeviceOpens ? FakeDevice : nullptr;
}
void ConsoleClose(ConsoleHandle) {}
bool ConsoleWriteDirect(const wchar_t* text, size_t length) {
    fake::Direct.append(text, length);
    fake::Screen.append(text, length);
    if (fake::OnDirect) fake::OnDirect();
    return true;
}
bool ConsoleKeyHit() {
    return !fake::Keys.empty();
}
int ConsoleReadKey() {
    if (fake::Keys.empty()) return 27;
    int key = fake::Keys.front();
    fake::Keys.pop_front();
    return key;
}
bool ConsoleSetCtrlHandler(ConsoleCtrlHandler handler, bool add) {
    ++fake::CtrlHandlerCalls;
    fake::CtrlHandler = add ? handler : nullptr;
    return true;
}

// ---- Clock ----
uint64_t ClockSystemTime() {
    return fake::SystemTime;
}
uint32_t ClockTickCount() {
    return fake::Ticks;
}
void ClockSleep(uint32_t milliseconds) {
    fake::Ticks += milliseconds;
    fake::SystemTime += uint64_t(milliseconds) * 10000;
    if (fake::OnSleep) fake::OnSleep();
}

// ---- Settings ----
bool SettingsGetEnvironment(const wchar_t* name, wchar_t* buffer, size_t capacity) {
    auto found = fake::Environment.find(name);
    if (found == fake::Environment.end() || found->second.size() + 1 > capacity) return false;
    found->second.copy(buffer, found->second.size());
    buffer[found->second.size()] = L'\0';
    return true;
}
bool SettingsReadValue(SettingsRoot root, const wchar_t* key, const wchar_t* value, void* buffer,
                       uint32_t* bytes, uint32_t* type) {
    auto found = fake::Registry.find({root, key, value});
    if (found == fake::Registry.end()) return false;
    size_t need = (found->second.text.size() + 1) * sizeof(wchar_t);
    if (need > *bytes) return false;
    std::memcpy(buffer, found->second.text.c_str(), need);
    *bytes = static_cast<uint32_t>(need);
    *type = found->second.type;
    return true;
}

// ---- Resolver ----
namespace {
// The records of one list and the strings they point to.
struct FakeList {
    std::vector<TestRecord> records;
    std::vector<std::unique_ptr<wchar_t[]>> strings;
    wchar_t* Keep(const std::wstring& text) {
        auto copy = std::make_unique<wchar_t[]>(text.size() + 1);
        text.copy(copy.get(), text.size());
        copy[text.size()] = L'\0';
        strings.push_back(std::move(copy));
        return strings.back().get();
    }
};
std::map<DNS_RECORD*, FakeList*>& FakeListOwners() {
    static std::map<DNS_RECORD*, FakeList*> owners;
    return owners;
}
} // namespace

void RecordQuery(const wchar_t* name, uint16_t type, uint32_t options, const IP4_ARRAY* servers) {
    fake::Query query{name, type, options, servers != nullptr, {}};
    if (servers != nullptr)
        query.servers.assign(servers->AddrArray, servers->AddrArray + servers->AddrCount);
    fake::Queries.push_back(query);
}

// The scripted answer for name and type, as a list the caller frees with DnsFree.
DNS_STATUS Resolve(const wchar_t* name, uint16_t type, DNS_RECORD** results) {
    if (results != nullptr) *results = nullptr;
    auto found = fake::Answers.find({name, type});
    if (found == fake::Answers.end()) return DNS_ERROR_RCODE_NAME_ERROR;
    const fake::Reply& reply = found->second;
    if (reply.status != 0 || reply.records.empty() || results == nullptr) return reply.status;

    auto* list = new FakeList;
    list->records.reserve(reply.records.size());
    for (const fake::Record& in : reply.records)
        list->records.emplace_back(in.type, in.strings.size());
    for (size_t i = 0; i < reply.records.size(); ++i) {
        const fake::Record& in = reply.records[i];
        TestRecord& holder = list->records[i];
        DNS_RECORD& out = *holder;
        out.pNext = i + 1 < reply.records.size() ? list->records[i + 1].get() : nullptr;
        out.pName = list->Keep(name);
        out.wType = in.type;
        switch (in.type) {
        case 1:
            out.Data.A.IpAddress = in.a;
            break;
        case 28:
            holder.SetIp6(in.bytes);
            break;
        case 29:
            std::memcpy(const_cast<uint8_t*>(DnsRecordLocBytes(&out)), in.bytes.data(), 16);
            break;
        case 15:
            out.Data.MX.pNameExchange = list->Keep(in.host);
            out.Data.MX.wPreference = in.preference;
            break;
        case 6:
            out.Data.SOA.pNamePrimaryServer = list->Keep(in.host);
            out.Data.SOA.pNameAdministrator = list->Keep(in.admin);
            out.Data.SOA.dwSerialNo = in.soa[0];
            out.Data.SOA.dwRefresh = in.soa[1];
            out.Data.SOA.dwRetry = in.soa[2];
            out.Data.SOA.dwExpire = in.soa[3];
            out.Data.SOA.dwDefaultTtl = in.soa[4];
            break;
        case 16: {
            std::vector<wchar_t*> strings;
            for (const std::wstring& text : in.strings)
                strings.push_back(list->Keep(text));
            holder.SetTxt(strings);
            break;
        }
        default:
            out.Data.PTR.pNameHost = list->Keep(in.host);
            break;
        }
    }
    // DnsFree gets the first record's address; the owner map finds the list by it.
    *results = list->records.front().get();
    FakeListOwners()[*results] = list;
    ++fake::OpenResultLists;
    return 0;
}

DNS_STATUS DnsQuery_W(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                      DNS_RECORD** results, void*) {
    RecordQuery(name, type, options, servers);
    return Resolve(name, type, results);
}

struct DnsSession {
    uint32_t options;
    std::vector<uint32_t> servers;
    bool withServers;
    struct Flight {
        DnsQueryRequest* request;
        uint64_t due; // clock time; UINT64_MAX: muted
    };
    std::vector<Flight> flights; // in submission order
};

DnsSession* DnsSessionOpen(uint32_t options, const IP4_ARRAY* servers) {
    auto* session = new DnsSession{options, {}, servers != nullptr, {}};
    if (servers != nullptr)
        session->servers.assign(servers->AddrArray, servers->AddrArray + servers->AddrCount);
    ++fake::SessionsOpen;
    fake::SessionOptions.push_back(options);
    return session;
}

bool DnsSessionSubmit(DnsSession* session, DnsQueryRequest* request) {
    fake::Query query{request->name, request->type, session->options, session->withServers,
                      session->servers};
    fake::Queries.push_back(query);
    request->results = nullptr;
    if (fake::Unsendable.count(request->name) != 0) {
        request->status = DNS_ERROR_INVALID_NAME;
        return false;
    }
    std::pair<std::wstring, uint16_t> key{request->name, request->type};
    uint64_t due = UINT64_MAX;
    if (fake::Muted.count(key) == 0) {
        auto latency = fake::LatencyMs.find(key);
        due = fake::SystemTime +
              (latency != fake::LatencyMs.end() ? uint64_t(latency->second) * 10000 : 0);
    }
    session->flights.push_back({request, due});
    fake::MaxInFlight = std::max(fake::MaxInFlight, ++fake::InFlight);
    return true;
}

size_t DnsSessionWait(DnsSession* session, uint32_t timeoutMs, DnsQueryRequest** done,
                      size_t capacity) {
    if (fake::OnWait) fake::OnWait();
    if (session->flights.empty()) return 0;
    uint64_t next = UINT64_MAX;
    for (const DnsSession::Flight& flight : session->flights)
        next = std::min(next, flight.due);
    if (next > fake::SystemTime) { // nothing due: time passes
        uint64_t step = std::min<uint64_t>(next - fake::SystemTime, uint64_t(timeoutMs) * 10000);
        fake::SystemTime += step;
        fake::Ticks += uint32_t(step / 10000);
    }
    size_t count = 0;
    for (size_t i = session->flights.size(); i-- > 0 && count < capacity;) {
        DnsSession::Flight flight = session->flights[i];
        if (flight.due > fake::SystemTime) continue;
        session->flights.erase(session->flights.begin() + static_cast<std::ptrdiff_t>(i));
        flight.request->status =
            Resolve(flight.request->name, flight.request->type, &flight.request->results);
        done[count++] = flight.request;
        --fake::InFlight;
    }
    return count;
}

size_t DnsSessionPending(const DnsSession* session) {
    return session->flights.size();
}

void DnsSessionClose(DnsSession* session) {
    fake::InFlight -= session->flights.size();
    --fake::SessionsOpen;
    delete session;
}

void DnsFree(void* data, DNS_FREE_TYPE) {
    auto& owners = FakeListOwners();
    auto found = owners.find(static_cast<DNS_RECORD*>(data));
    if (found == owners.end()) {
        ADD_FAILURE() << "DnsFree of a list the fake resolver did not give out";
        return;
    }
    delete found->second;
    owners.erase(found);
    --fake::OpenResultLists;
}

void DnsClientShutdown() {
    ++fake::ClientShutdowns;
}

// ---- Name resolution and configured servers ----
SockAddrInfo* SockGetAddrInfo4(const wchar_t* name) {
    auto found = fake::HostAddresses.find(name);
    if (found == fake::HostAddresses.end() || found->second.empty()) return nullptr;
    SockAddrInfo* head = nullptr;
    SockAddrInfo** tail = &head;
    for (const std::string& dotted : found->second) {
        auto* entry = new SockAddrInfo{};
        auto* address = new sockaddr_in{};
        address->sin_family = AF_INET;
        inet_pton(AF_INET, dotted.c_str(), &address->sin_addr);
        entry->ai_family = AF_INET;
        entry->ai_addrlen = sizeof(sockaddr_in);
        entry->ai_addr = reinterpret_cast<sockaddr*>(address);
        *tail = entry;
        tail = &entry->ai_next;
    }
    return head;
}
void SockFreeAddrInfo(SockAddrInfo* list) {
    while (list != nullptr) {
        SockAddrInfo* next = list->ai_next;
        delete reinterpret_cast<sockaddr_in*>(list->ai_addr);
        delete list;
        list = next;
    }
}

int NetworkDnsServerTexts(char (*texts)[NetworkServerTextSize], int capacity) {
    if (fake::NetworkFails) return -1;
    int count = 0;
    for (const std::string& text : fake::ConfiguredServers) {
        if (count >= capacity) break;
        std::strncpy(texts[count], text.c_str(), NetworkServerTextSize - 1);
        texts[count][NetworkServerTextSize - 1] = '\0';
        ++count;
    }
    return count;
}

// ---- System message texts ----
size_t SystemMessageText(uint32_t code, wchar_t* buffer, size_t capacity) {
    auto found = fake::MessageTexts.find(code);
    if (buffer == nullptr || found == fake::MessageTexts.end() ||
        found->second.size() + 1 > capacity)
        return 0;
    found->second.copy(buffer, found->second.size());
    buffer[found->second.size()] = L'\0';
    return found->second.size();
}

// ---- User interface ----
void ShowMessageBox(const wchar_t* caption, const wchar_t* text) {
    fake::MessageBoxes.emplace_back(caption, text);
}
