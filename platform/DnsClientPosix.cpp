// DNS client on c-ares: c-ares does the transport (UDP with EDNS0, TCP when truncated, matching
// answers to queries by ID and question); the queries, the parsing of answers and the choice of
// the next server are our own (DnsMessage, below), so every byte of an answer is checked before
// it is used and a bad answer from one server does not end the query.
//
// Each server of a session has a c-ares channel of its own, so that a query moves from one
// server to the next under our control: a server that fails (SERVFAIL, REFUSED, NOTIMP), sends
// a malformed answer or none at all hands the query on to the next server of the list, and the
// status of the last server asked is the result.
#include <algorithm>
#include <ares.h>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <poll.h>
#include <random>
#include <sys/random.h>
#include <unordered_set>
#include <vector>

#include "platform/DnsClient.h"
#include "platform/DnsClientTesting.h"
#include "platform/DnsMessage.h"
#include "platform/DnsNamePosix.h"

namespace {

// Each try waits 2 s and a server gets 2 tries: a mute server costs a query 4 s.
constexpr int TryTimeoutMs = 2000;
constexpr int TriesPerServer = 2;
constexpr uint16_t DnsPort = 53;
constexpr size_t MaxBatchInFlight = 1024;
// Room for many answers arriving while the caller writes output.
constexpr int ReceiveBufferBytes = 1 << 20;

std::atomic<uint16_t> PortForTesting{0};
std::atomic<uint32_t> TimeoutForTesting{0};

using Clock = std::chrono::steady_clock;

DNS_STATUS StatusFromAres(int status) {
    switch (status) {
    case ARES_ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ARES_EBADRESP:
        return DNS_ERROR_BAD_PACKET;
    case ARES_EBADQUERY:
    case ARES_EBADNAME:
        return DNS_ERROR_INVALID_NAME;
    case ARES_ETIMEOUT:
    case ARES_ECONNREFUSED: // a port-unreachable server is as useless as a mute one
    case ARES_ECANCELLED:
    case ARES_EDESTRUCTION:
        return ERROR_TIMEOUT;
    default:
        return DNS_ERROR_NO_PACKET;
    }
}

// Statuses after which the next server is asked: the server could not or would not answer,
// or what it sent cannot be read.
bool AskNextServer(DNS_STATUS status) {
    switch (status) {
    case DNS_ERROR_RCODE_SERVER_FAILURE:
    case DNS_ERROR_RCODE_NOT_IMPLEMENTED:
    case DNS_ERROR_RCODE_REFUSED:
    case DNS_ERROR_BAD_PACKET:
    case DNS_ERROR_NO_PACKET:
    case ERROR_TIMEOUT:
        return true;
    default:
        return false;
    }
}

// No answer at all: the same server gets another try before the next one is asked.
bool NoAnswer(DNS_STATUS status) {
    return status == ERROR_TIMEOUT || status == DNS_ERROR_NO_PACKET;
}

struct ChannelDeleter {
    void operator()(ares_channel channel) const { ares_destroy(channel); }
};
using Channel = std::unique_ptr<std::remove_pointer_t<ares_channel>, ChannelDeleter>;

void InitLibrary() {
    static std::once_flag libraryInit;
    std::call_once(libraryInit, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

// A channel with c-ares' own configuration (resolv.conf), one try per send: retries and the
// move to the next server are ours.
Channel NewChannel(int timeoutMs) {
    InitLibrary();
    ares_options options{};
    // NOCHECKRESP: c-ares would itself turn SERVFAIL, NOTIMP and REFUSED answers into a bare
    // "connection refused"; we want every answer and its response code.
    options.flags = ARES_FLAG_EDNS | ARES_FLAG_NOCHECKRESP;
    options.timeout = timeoutMs;
    options.tries = 1;
    options.ednspsz = DnsEdnsPayloadSize;
    options.socket_receive_buffer_size = ReceiveBufferBytes;
    int mask = ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_EDNSPSZ |
               ARES_OPT_SOCK_RCVBUF | ARES_OPT_NOROTATE;
    ares_channel raw = nullptr;
    if (ares_init_options(&raw, &options, mask) != ARES_SUCCESS) return Channel();
    return Channel(raw);
}

// The servers to ask, in order: the explicit IPv4 ones, or those c-ares finds configured.
std::vector<ares_addr_port_node> ServerNodes(const IP4_ARRAY* servers, int timeoutMs) {
    std::vector<ares_addr_port_node> nodes;
    if (servers != nullptr && servers->AddrCount != 0) {
        uint16_t port = PortForTesting.load();
        for (uint32_t i = 0; i < servers->AddrCount; ++i) {
            ares_addr_port_node node{};
            node.family = AF_INET;
            node.addr.addr4.s_addr = servers->AddrArray[i]; // already in network order
            node.udp_port = node.tcp_port = port != 0 ? port : DnsPort;
            nodes.push_back(node);
        }
        return nodes;
    }
    Channel probe = NewChannel(timeoutMs);
    ares_addr_port_node* configured = nullptr;
    if (probe && ares_get_servers_ports(probe.get(), &configured) == ARES_SUCCESS) {
        for (ares_addr_port_node* node = configured; node != nullptr; node = node->next) {
            nodes.push_back(*node);
            nodes.back().next = nullptr;
        }
        ares_free_data(configured);
    }
    return nodes;
}

} // namespace

// One query on its way through the servers. The request is written only when the session hands
// it back, so a query given up at close never touches it.
struct DnsFlight {
    DnsSession* session = nullptr;
    DnsQueryRequest* request = nullptr;
    std::vector<uint8_t> wireName;
    size_t server = 0;
    int triesOnServer = 0;
    int id = -1; // the ID of the try on its way, -1 between tries
    DNS_STATUS status = DNS_ERROR_NO_PACKET;
    DNS_RECORD* results = nullptr;
    ~DnsFlight() { DnsFree(results, DnsFreeRecordList); }
};

struct DnsSession {
    std::vector<Channel> channels; // one per server, in list order
    std::unordered_set<DnsFlight*> flying;
    std::deque<DnsFlight*> done;      // complete, not yet handed back
    std::unordered_set<uint16_t> ids; // of the tries on their way: an answer is matched by ID
    bool closing = false;
    ~DnsSession() {
        closing = true;
        channels.clear(); // c-ares calls back every query still open; closing drops them
        for (DnsFlight* flight : flying)
            delete flight;
        for (DnsFlight* flight : done)
            delete flight;
    }
};

namespace {

void Send(DnsFlight* flight);

// A random ID that no other try of the session uses.
uint16_t NewId(DnsSession* session) {
    for (;;) {
        uint16_t id = 0;
        if (getrandom(&id, sizeof id, 0) != ssize_t(sizeof id))
            id = uint16_t(std::random_device()());
        if (session->ids.insert(id).second) return id;
    }
}

void ReleaseId(DnsFlight* flight) {
    if (flight->id >= 0) flight->session->ids.erase(uint16_t(flight->id));
    flight->id = -1;
}

void Finish(DnsFlight* flight, DNS_STATUS status, DNS_RECORD* results) {
    DnsSession* session = flight->session;
    ReleaseId(flight);
    flight->status = status;
    flight->results = results;
    session->flying.erase(flight);
    session->done.push_back(flight);
}

// c-ares callback: parses the answer while c-ares still owns the buffer, then finishes the
// query or sends it on. Never throws; may run inside ares_send (a failure found at once).
void OnAnswer(void* arg, int aresStatus, int, unsigned char* answer, int length) {
    auto* flight = static_cast<DnsFlight*>(arg);
    DnsSession* session = flight->session;
    if (session->closing) return; // the session frees the flight
    ReleaseId(flight);
    DNS_RECORD* results = nullptr;
    DNS_STATUS status;
    if (aresStatus == ARES_SUCCESS && answer != nullptr && length >= 0)
        status = DnsParseAnswer(std::span<const uint8_t>(answer, size_t(length)), flight->wireName,
                                flight->request->type, &results);
    else
        status = StatusFromAres(aresStatus == ARES_SUCCESS ? ARES_EBADRESP : aresStatus);
    if (status != 0) {
        DnsFree(results, DnsFreeRecordList);
        results = nullptr;
    }

    if (AskNextServer(status)) {
        if (NoAnswer(status) && ++flight->triesOnServer < TriesPerServer) {
            Send(flight);
            return;
        }
        if (flight->server + 1 < session->channels.size()) {
            ++flight->server;
            flight->triesOnServer = 0;
            Send(flight);
            return;
        }
    }
    Finish(flight, status, results);
}

void Send(DnsFlight* flight) {
    std::vector<uint8_t> query;
    try {
        flight->id = NewId(flight->session);
        query = DnsBuildQuery(flight->wireName, flight->request->type, uint16_t(flight->id));
    } catch (const std::bad_alloc&) {
        Finish(flight, ERROR_NOT_ENOUGH_MEMORY, nullptr);
        return;
    }
    ares_send(flight->session->channels[flight->server].get(), query.data(), int(query.size()),
              OnAnswer, flight);
}

int TimeoutMs() {
    uint32_t testTimeout = TimeoutForTesting.load();
    return testTimeout != 0 ? int(testTimeout) : TryTimeoutMs;
}

// Waits for socket activity of any channel for at most waitMs and lets c-ares process it and
// its time-outs. Returns false when a signal interrupted the wait.
bool DriveOnce(DnsSession* session, int waitMs) {
    constexpr size_t MaxSockets = ARES_GETSOCK_MAXNUM;
    std::vector<pollfd> fds;
    std::vector<size_t> owners;
    for (size_t c = 0; c < session->channels.size(); ++c) {
        ares_channel channel = session->channels[c].get();
        timeval limit{time_t(waitMs / 1000), suseconds_t(waitMs % 1000 * 1000)};
        timeval buffer{};
        timeval* next = ares_timeout(channel, &limit, &buffer);
        waitMs = std::min(waitMs, int(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000));
        ares_socket_t sockets[MaxSockets];
        int bits = ares_getsock(channel, sockets, int(MaxSockets));
        for (size_t i = 0; i < MaxSockets; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
            if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
            if (events == 0) continue;
            fds.push_back(pollfd{sockets[i], events, 0});
            owners.push_back(c);
        }
    }
    int ready = poll(fds.data(), nfds_t(fds.size()), std::max(waitMs, 0));
    if (ready < 0 && errno == EINTR) return false;
    for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        short got = fds[i].revents;
        if (got == 0) continue;
        bool readable = (got & (POLLIN | POLLERR | POLLHUP)) != 0;
        bool writable = (got & POLLOUT) != 0;
        ares_process_fd(session->channels[owners[i]].get(), readable ? fds[i].fd : ARES_SOCKET_BAD,
                        writable ? fds[i].fd : ARES_SOCKET_BAD);
    }
    // Time-outs of every channel, whether or not its sockets had anything.
    for (size_t c = 0; c < session->channels.size(); ++c)
        ares_process_fd(session->channels[c].get(), ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    return true;
}

} // namespace

void DnsClientSetPortForTesting(uint16_t port) {
    PortForTesting.store(port);
}

void DnsClientSetTimeoutForTesting(uint32_t milliseconds) {
    TimeoutForTesting.store(milliseconds);
}

DnsSession* DnsSessionOpen(uint32_t, const IP4_ARRAY* servers) {
    // The options only choose between the cache, the hosts file and the servers elsewhere;
    // here every query goes to the servers.
    try {
        auto session = std::make_unique<DnsSession>();
        int timeoutMs = TimeoutMs();
        for (ares_addr_port_node& node : ServerNodes(servers, timeoutMs)) {
            Channel channel = NewChannel(timeoutMs);
            if (!channel || ares_set_servers_ports(channel.get(), &node) != ARES_SUCCESS)
                return nullptr;
            session->channels.push_back(std::move(channel));
        }
        if (session->channels.empty()) { // nothing configured: c-ares' own default
            Channel channel = NewChannel(timeoutMs);
            if (!channel) return nullptr;
            session->channels.push_back(std::move(channel));
        }
        return session.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool DnsSessionSubmit(DnsSession* session, DnsQueryRequest* request) {
    if (request == nullptr) return false;
    request->results = nullptr;
    if (session == nullptr || request->name == nullptr) {
        request->status = ERROR_INVALID_PARAMETER;
        return false;
    }
    try {
        auto flight = std::make_unique<DnsFlight>();
        flight->session = session;
        flight->request = request;
        DNS_STATUS status = DnsEncodeQueryName(request->name, flight->wireName);
        if (status != 0) {
            request->status = status;
            return false;
        }
        DnsFlight* raw = flight.release();
        session->flying.insert(raw);
        Send(raw);
        return true;
    } catch (const std::bad_alloc&) {
        request->status = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
}

size_t DnsSessionWait(DnsSession* session, uint32_t timeoutMs, DnsQueryRequest** done,
                      size_t capacity) {
    if (session == nullptr || done == nullptr || capacity == 0) return 0;
    try {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (bool first = true; session->done.empty() && !session->flying.empty(); first = false) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (!first && left.count() <= 0) break;
            if (!DriveOnce(session, int(std::max<int64_t>(left.count(), 0)))) break; // a signal
        }
    } catch (const std::bad_alloc&) {
        // What completed so far is still handed back.
    }
    size_t count = 0;
    while (count < capacity && !session->done.empty()) {
        DnsFlight* flight = session->done.front();
        session->done.pop_front();
        flight->request->status = flight->status;
        flight->request->results = flight->results;
        flight->results = nullptr;
        done[count++] = flight->request;
        delete flight;
    }
    return count;
}

size_t DnsSessionPending(const DnsSession* session) {
    return session != nullptr ? session->flying.size() + session->done.size() : 0;
}

void DnsSessionClose(DnsSession* session) {
    delete session;
}

void DnsQueryBatch(DnsQueryRequest* requests, size_t count, uint32_t options, IP4_ARRAY* servers) {
    if (requests == nullptr) return;
    DnsSession* session = DnsSessionOpen(options, servers);
    if (session == nullptr) {
        for (size_t i = 0; i < count; ++i)
            requests[i] = {requests[i].name, requests[i].type, ERROR_NOT_ENOUGH_MEMORY, nullptr};
        return;
    }
    // IDs are 16 bits and unique in a session: a large batch goes out as room frees up.
    DnsQueryRequest* done[64];
    for (size_t next = 0; next < count || DnsSessionPending(session) != 0;) {
        while (next < count && DnsSessionPending(session) < MaxBatchInFlight)
            DnsSessionSubmit(session, &requests[next++]);
        if (DnsSessionPending(session) != 0) DnsSessionWait(session, 1000, done, std::size(done));
    }
    DnsSessionClose(session);
}

DNS_STATUS DnsQuery_W(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                      DNS_RECORD** results, void*) {
    if (results == nullptr) return ERROR_INVALID_PARAMETER;
    DnsQueryRequest request{name, type, 0, nullptr};
    DnsQueryBatch(&request, 1, options, servers);
    *results = request.status == 0 ? request.results : nullptr;
    if (request.status != 0) DnsFree(request.results, DnsFreeRecordList);
    return request.status;
}

// Queries run on the caller's thread here: nothing is left running when the module unloads.
void DnsClientShutdown() {}
