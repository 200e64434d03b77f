// DNS client on c-ares: c-ares does the transport (UDP with EDNS0, TCP when truncated, retries,
// matching answers to queries by ID and question); the queries and the parsing of answers are
// our own (DnsMessage), so every byte of an answer is checked before it is used.
#include <algorithm>
#include <ares.h>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <poll.h>
#include <random>
#include <sys/random.h>
#include <unordered_set>

#include "platform/DnsClient.h"
#include "platform/DnsClientTesting.h"
#include "platform/DnsMessage.h"

namespace {

// Each try waits 2 s and a server gets 2 tries; c-ares doubles the wait of the second round,
// so the whole query is bounded by us at tries x timeout per server (4 s for one server).
constexpr int TryTimeoutMs = 2000;
constexpr int Tries = 2;
constexpr uint16_t DnsPort = 53;
// Query IDs are 16 bits and must be unique on a channel; larger batches go in rounds.
constexpr size_t MaxInFlight = 1024;

std::atomic<uint16_t> PortForTesting{0};
std::atomic<uint32_t> TimeoutForTesting{0};

using Clock = std::chrono::steady_clock;

struct Pending {
    DnsQueryRequest* request = nullptr;
    std::vector<uint8_t> wireName;
    size_t* open = nullptr; // queries of the round still waiting
};

DNS_STATUS StatusFromAres(int status) {
    switch (status) {
    case ARES_ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ARES_EBADRESP:
        return DNS_ERROR_BAD_PACKET;
    case ARES_ESERVFAIL:
        return DNS_ERROR_RCODE_SERVER_FAILURE;
    case ARES_ENOTIMP:
        return DNS_ERROR_RCODE_NOT_IMPLEMENTED;
    case ARES_EREFUSED:
        return DNS_ERROR_RCODE_REFUSED;
    case ARES_EFORMERR:
        return DNS_ERROR_RCODE_FORMAT_ERROR;
    case ARES_ENOTFOUND:
        return DNS_ERROR_RCODE_NAME_ERROR;
    case ARES_EBADQUERY:
    case ARES_EBADNAME:
        return DNS_ERROR_INVALID_NAME;
    case ARES_ETIMEOUT:
    case ARES_ECONNREFUSED: // a port-unreachable server is as useless as a mute one
    case ARES_ECANCELLED:   // our overall deadline
    case ARES_EDESTRUCTION:
        return ERROR_TIMEOUT;
    default:
        return DNS_ERROR_NO_PACKET;
    }
}

// c-ares callback: parses the answer while c-ares still owns the buffer. Never throws.
void OnAnswer(void* arg, int status, int, unsigned char* answer, int length) {
    auto* pending = static_cast<Pending*>(arg);
    DnsQueryRequest& request = *pending->request;
    if (status == ARES_SUCCESS && answer != nullptr && length >= 0)
        request.status = DnsParseAnswer(std::span<const uint8_t>(answer, size_t(length)),
                                        pending->wireName, request.type, &request.results);
    else
        request.status = StatusFromAres(status == ARES_SUCCESS ? ARES_EBADRESP : status);
    --*pending->open;
}

struct ChannelDeleter {
    void operator()(ares_channel channel) const { ares_destroy(channel); }
};
using Channel = std::unique_ptr<std::remove_pointer_t<ares_channel>, ChannelDeleter>;

Channel OpenChannel(const IP4_ARRAY* servers, int timeoutMs, int& serverCount, int& status) {
    static std::once_flag libraryInit;
    std::call_once(libraryInit, [] { ares_library_init(ARES_LIB_INIT_ALL); });

    ares_options options{};
    // NOCHECKRESP: c-ares 1.18.1 would turn SERVFAIL, NOTIMP and REFUSED answers into a bare
    // "connection refused"; we want every answer and its response code.
    options.flags = ARES_FLAG_EDNS | ARES_FLAG_NOCHECKRESP;
    options.timeout = timeoutMs;
    options.tries = Tries;
    options.ednspsz = DnsEdnsPayloadSize;
    int mask = ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_EDNSPSZ |
               ARES_OPT_NOROTATE; // the servers are asked in the order given
    ares_channel raw = nullptr;
    status = ares_init_options(&raw, &options, mask);
    Channel channel(status == ARES_SUCCESS ? raw : nullptr);
    if (!channel) return channel;

    if (servers != nullptr && servers->AddrCount != 0) {
        uint16_t port = PortForTesting.load();
        std::vector<ares_addr_port_node> nodes(servers->AddrCount);
        const uint32_t* addresses = servers->AddrArray;
        for (size_t i = 0; i < nodes.size(); ++i) {
            nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
            nodes[i].family = AF_INET;
            nodes[i].addr.addr4.s_addr = addresses[i]; // already in network order
            nodes[i].udp_port = port != 0 ? port : DnsPort;
            nodes[i].tcp_port = nodes[i].udp_port;
        }
        status = ares_set_servers_ports(channel.get(), nodes.data());
        if (status != ARES_SUCCESS) channel.reset();
        serverCount = int(nodes.size());
        return channel;
    }
    ares_addr_port_node* configured = nullptr;
    serverCount = 0;
    if (ares_get_servers_ports(channel.get(), &configured) == ARES_SUCCESS) {
        for (ares_addr_port_node* node = configured; node != nullptr; node = node->next)
            ++serverCount;
        ares_free_data(configured);
    }
    if (serverCount == 0) serverCount = 1;
    return channel;
}

// Random IDs, distinct within the round: an answer is matched to its query by ID first.
std::vector<uint16_t> RandomIds(size_t count) {
    std::vector<uint16_t> ids;
    std::unordered_set<uint16_t> used;
    while (ids.size() < count) {
        uint16_t id = 0;
        if (getrandom(&id, sizeof id, 0) != ssize_t(sizeof id))
            id = uint16_t(std::random_device()());
        if (used.insert(id).second) ids.push_back(id);
    }
    return ids;
}

// Drives the channel until every query of the round has called back or the deadline passed.
// ares_getsock reports up to 16 sockets, a UDP and a TCP one for each of 8 servers.
void Wait(ares_channel channel, const size_t& open, Clock::time_point deadline) {
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            ares_cancel(channel); // calls back every open query with ARES_ECANCELLED
            return;
        }
        timeval limit{time_t(left.count() / 1000), suseconds_t(left.count() % 1000 * 1000)};
        timeval buffer{};
        timeval* next = ares_timeout(channel, &limit, &buffer);
        int waitMs = int(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000);

        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        int bits = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
        pollfd fds[ARES_GETSOCK_MAXNUM];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
            if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
            if (events != 0) fds[count++] = pollfd{sockets[i], events, 0};
        }
        int ready = poll(fds, count, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue; // Ctrl-C: the deadline still holds, go on waiting
            ares_cancel(channel);
            return;
        }
        if (ready == 0) {
            ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD); // time-outs
            continue;
        }
        for (nfds_t i = 0; i < count; ++i) {
            short got = fds[i].revents;
            if (got == 0) continue;
            bool readable = (got & (POLLIN | POLLERR | POLLHUP)) != 0;
            bool writable = (got & POLLOUT) != 0;
            ares_process_fd(channel, readable ? fds[i].fd : ARES_SOCKET_BAD,
                            writable ? fds[i].fd : ARES_SOCKET_BAD);
        }
    }
}

void RunRound(DnsQueryRequest* requests, size_t count, IP4_ARRAY* servers) {
    // Declared before the channel: ares_destroy may still call back into these.
    std::vector<Pending> pending(count);
    size_t open = 0;

    std::vector<uint16_t> ids = RandomIds(count);
    for (size_t i = 0; i < count; ++i) {
        DnsQueryRequest& request = requests[i];
        request.results = nullptr;
        request.status = request.name == nullptr ? ERROR_INVALID_PARAMETER
                                                 : DnsEncodeName(request.name, pending[i].wireName);
        pending[i].request = &request;
        pending[i].open = &open;
    }

    uint32_t testTimeout = TimeoutForTesting.load();
    int timeoutMs = testTimeout != 0 ? int(testTimeout) : TryTimeoutMs;
    int serverCount = 1, aresStatus = ARES_SUCCESS;
    Channel channel = OpenChannel(servers, timeoutMs, serverCount, aresStatus);
    for (size_t i = 0; i < count; ++i) {
        if (requests[i].status != 0) continue;
        if (!channel) {
            requests[i].status =
                aresStatus == ARES_ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : DNS_ERROR_NO_PACKET;
            continue;
        }
        std::vector<uint8_t> query = DnsBuildQuery(pending[i].wireName, requests[i].type, ids[i]);
        requests[i].status = DNS_ERROR_NO_PACKET; // until the callback says otherwise
        ++open;
        ares_send(channel.get(), query.data(), int(query.size()), OnAnswer, &pending[i]);
    }
    if (!channel) return;
    auto deadline =
        Clock::now() + std::chrono::milliseconds(int64_t(timeoutMs) * Tries * serverCount);
    Wait(channel.get(), open, deadline);
}

} // namespace

void DnsClientSetPortForTesting(uint16_t port) {
    PortForTesting.store(port);
}

void DnsClientSetTimeoutForTesting(uint32_t milliseconds) {
    TimeoutForTesting.store(milliseconds);
}

void DnsQueryBatch(DnsQueryRequest* requests, size_t count, uint32_t, IP4_ARRAY* servers) {
    // The options only choose between the cache, the hosts file and the servers elsewhere;
    // here every query goes to the servers.
    if (requests == nullptr) return;
    for (size_t done = 0; done < count;) {
        size_t round = std::min(count - done, MaxInFlight);
        try {
            RunRound(requests + done, round, servers);
        } catch (...) { // memory, or no random source: nothing may leave this call
            for (size_t i = done; i < done + round; ++i) {
                DNS_STATUS& status = requests[i].status;
                if (requests[i].results == nullptr &&
                    (status == 0 || status == DNS_ERROR_NO_PACKET))
                    status = ERROR_NOT_ENOUGH_MEMORY;
            }
        }
        done += round;
    }
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
