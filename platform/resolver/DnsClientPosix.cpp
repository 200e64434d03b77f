// DNS client on c-ares. c-ares carries the messages (UDP with EDNS0, one pipelined TCP
// connection per server, answers matched to tries by ID and question); everything else is ours:
// the queries and the parsing of answers (DnsMessage), and when and where each try goes.
//
// A session asks each distinct question once, and answers a question asked again from what
// came. Each server has a window of tries in flight (DnsServerWindow): it grows while answers
// come, shrinks on congestion, and tries leave paced. An unanswered try is sent again after a
// time-out measured from the server's round trip, backing off, until the question has spent its
// time on the server; an overload answer (SERVFAIL, REFUSED) is asked again with fewer in
// flight, at a resolver at last alone; a truncated answer is asked again over TCP, and a server
// that truncates or drops as a rate limiter does gets the rest of its questions over TCP. A server
// that refuses the connection, or has been silent for a question's whole time, gets no more
// questions; a question that fails at a server (no answer, SERVFAIL, REFUSED, NOTIMP, a malformed
// answer) moves on to the next server, and the status at the last one is the result.
#include <algorithm>
#include <ares.h>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <poll.h>
#include <random>
#include <string>
#include <sys/random.h>
#include <sys/socket.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/resolver/DnsClient.h"
#include "platform/resolver/DnsClientTestingPosix.h"
#include "platform/resolver/DnsMessagePosix.h"
#include "platform/resolver/DnsNamePosix.h"
#include "platform/resolver/DnsServerWindowPosix.h"
#include "platform/resolver/NetworkParams.h"

namespace {

using namespace std::chrono_literals;

// A question may spend two tries' time of 2 s on one server, as a stub resolver gives it.
constexpr std::chrono::milliseconds TryTime = 2000ms;
constexpr int TriesPerServer = 2;
constexpr uint16_t DnsPort = 53;
// The resolver configuration's servers that are asked, at most: as many as a server list holds.
constexpr int MaxConfiguredServers = 8;
// Room for many answers arriving while the caller writes output.
constexpr int ReceiveBufferBytes = 1 << 20;
// Truncated answers after which a server's questions all go over TCP.
constexpr unsigned TruncationsForTcp = 2;
// Overload answers (SERVFAIL, REFUSED) after which a recursive server is asked again; the last
// time alone.
constexpr unsigned OverloadRetriesRecursive = 4;
// A question that is not waiting for fewer in flight.
constexpr size_t NoHold = SIZE_MAX;
// A share of lost tries, while other answers arrive, that a rate limiter drops.
constexpr double RateLimitLossRate = 0.25;
// TCP connections that may fail before a server is asked over UDP only.
constexpr unsigned TcpFailuresForUdp = 2;
// Answers a session keeps for questions asked again.
constexpr size_t CacheLimit = 8192;

std::atomic<uint16_t> PortForTesting{0};
std::atomic<uint32_t> TryTimeForTesting{0};

DnsTimeLimits Limits() {
    uint32_t test = TryTimeForTesting.load();
    auto tryTime = test != 0 ? std::chrono::milliseconds(test) : TryTime;
    return DnsTimeLimitsFor(tryTime * TriesPerServer);
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
    case WSAECONNREFUSED:
    case WSAEHOSTUNREACH:
        return true;
    default:
        return false;
    }
}

DNS_STATUS StatusFromSocketError(int error) {
    switch (error) {
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
        return WSAEHOSTUNREACH;
    default:
        return WSAECONNREFUSED;
    }
}

struct ChannelDeleter {
    void operator()(ares_channel channel) const { ares_destroy(channel); }
};
using Channel = std::unique_ptr<std::remove_pointer_t<ares_channel>, ChannelDeleter>;

void InitLibrary() {
    static std::once_flag libraryInit;
    std::call_once(libraryInit, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

// A channel with c-ares' own configuration (resolv.conf) and one try per send, whose own
// time-out never comes before ours: when to send again, and where, is decided here. Truncated
// answers come back to us (the TCP channel of the server asks again).
Channel NewChannel(bool tcp) {
    InitLibrary();
    ares_options options{};
    // NOCHECKRESP: c-ares would itself turn SERVFAIL, NOTIMP and REFUSED answers into a bare
    // "connection refused"; we want every answer and its response code.
    // STAYOPEN: one connection for the whole session, not a new one after every lull.
    options.flags = ARES_FLAG_EDNS | ARES_FLAG_NOCHECKRESP | ARES_FLAG_STAYOPEN |
                    (tcp ? ARES_FLAG_USEVC : ARES_FLAG_IGNTC);
    options.timeout = int((Limits().perServer + 1s) / 1ms);
    options.tries = 1;
    options.ednspsz = DnsEdnsPayloadSize;
    options.socket_receive_buffer_size = ReceiveBufferBytes;
    int mask = ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_EDNSPSZ |
               ARES_OPT_SOCK_RCVBUF | ARES_OPT_NOROTATE;
    ares_channel raw = nullptr;
    if (ares_init_options(&raw, &options, mask) != ARES_SUCCESS) return Channel();
    return Channel(raw);
}

// The servers to ask, in order: the explicit IPv4 ones, or the system's, read from the resolver
// configuration by the same reader as the module's server list (IPv6 entries included here);
// none configured means this machine, as the C library's resolver takes it.
std::vector<ares_addr_port_node> ServerNodes(const IP4_ARRAY* servers) {
    std::vector<ares_addr_port_node> nodes;
    const uint16_t testPort = PortForTesting.load();
    auto add = [&](int family, const void* address) {
        ares_addr_port_node node{};
        node.family = family;
        if (family == AF_INET)
            std::memcpy(&node.addr.addr4, address, sizeof node.addr.addr4);
        else
            std::memcpy(&node.addr.addr6, address, sizeof node.addr.addr6);
        node.udp_port = node.tcp_port = testPort != 0 && servers != nullptr ? testPort : DnsPort;
        nodes.push_back(node);
    };
    if (servers != nullptr && servers->AddrCount != 0) {
        for (uint32_t i = 0; i < servers->AddrCount; ++i)
            add(AF_INET, &servers->AddrArray[i]); // already in network order
        return nodes;
    }
    char texts[MaxConfiguredServers][NetworkServerTextSize];
    const int count = NetworkDnsServerTexts(texts, MaxConfiguredServers);
    for (int i = 0; i < count; ++i) {
        in_addr v4{};
        in6_addr v6{};
        if (inet_pton(AF_INET, texts[i], &v4) == 1)
            add(AF_INET, &v4);
        else if (inet_pton(AF_INET6, texts[i], &v6) == 1)
            add(AF_INET6, &v6);
    }
    if (nodes.empty()) {
        const in_addr loopback{htonl(INADDR_LOOPBACK)};
        add(AF_INET, &loopback);
    }
    return nodes;
}

Channel ChannelFor(ares_addr_port_node node, bool tcp) {
    Channel channel = NewChannel(tcp);
    if (channel && ares_set_servers_ports(channel.get(), &node) != ARES_SUCCESS) return Channel();
    return channel;
}

std::string QuestionKey(const std::vector<uint8_t>& wireName, uint16_t type) {
    std::string key(wireName.begin(), wireName.end());
    key.push_back(char(type >> 8));
    key.push_back(char(type & 0xFF));
    return key;
}

} // namespace

struct DnsQuestion;

// One message on its way to a server. c-ares holds it until an answer or its own time-out, also
// after we stopped waiting for it; question is null then.
struct DnsTry {
    DnsSession* session = nullptr;
    DnsQuestion* question = nullptr;
    size_t server = 0;
    bool tcp = false;
    bool counted = false; // still counted in the server's window
    DnsClock::time_point sentAt;
};

// One request of the caller, answered when its question is.
struct DnsAsk {
    DnsQueryRequest* request = nullptr;
    DNS_STATUS status = DNS_ERROR_NO_PACKET;
    DNS_RECORD* results = nullptr;
    ~DnsAsk() { DnsFree(results, DnsFreeRecordList); }
};

// One question (name and type) on its way through the servers, for every request asking it.
struct DnsQuestion {
    std::string key;
    std::vector<uint8_t> wireName;
    uint16_t type = 0;
    std::vector<DnsAsk*> asks;
    size_t server = 0;
    bool startedOnServer = false;
    DnsClock::time_point firstSent; // on this server
    unsigned retries = 0;           // time-outs on this server
    unsigned overloadRetries = 0;   // on this server
    size_t holdUntil = NoHold;      // sent again only with at most this many awaited
    bool overTcp = false;
    bool queued = false;       // in its server's waiting line
    DnsTry* current = nullptr; // the try whose time-out runs, null while waiting to be sent
    DnsClock::time_point retransmitAt;
    std::vector<DnsTry*> open; // tries c-ares still holds
};

struct DnsServer {
    ares_addr_port_node node{};
    Channel udp, tcp;
    DnsServerWindow window;
    size_t awaited = 0; // questions whose try here is awaited, presumably lost ones included
    std::deque<DnsQuestion*> waiting; // retries first
    unsigned truncations = 0;
    unsigned tcpFailures = 0;
    bool overTcp = false;
    DNS_STATUS down = 0;    // refused or unreachable: every question here ends with this
    bool silent = false;    // no answer for a question's whole time
    bool hasPacing = false; // waiting for the pacing, not the window
    DnsClock::time_point ready;
};

struct Answer {
    DNS_STATUS status;
    std::vector<uint8_t> message;
};

struct DnsSession {
    DnsTimeLimits limits;
    std::vector<DnsServer> servers;
    std::unordered_map<std::string, DnsQuestion*> questions;
    std::unordered_set<DnsQuestion*> sent; // with a try whose time-out runs
    std::unordered_map<std::string, Answer> answered;
    std::deque<DnsAsk*> done; // complete, not yet handed back
    size_t open = 0;          // asks not yet complete
    bool closing = false;
    bool sending = false; // inside ares_send: a failure now is one of opening the socket
    ~DnsSession() {
        closing = true;
        for (DnsServer& server : servers) { // c-ares calls back every try still open
            server.udp.reset();
            server.tcp.reset();
        }
        for (auto& [key, question] : questions) {
            for (DnsAsk* ask : question->asks)
                delete ask;
            delete question;
        }
        for (DnsAsk* ask : done)
            delete ask;
    }
};

namespace {

void OnAnswer(void* arg, int aresStatus, int, unsigned char* answer, int length);

// The question's current try is awaited (its time-out runs), or no longer.
void Await(DnsSession* session, DnsQuestion* question) {
    if (session->sent.insert(question).second) ++session->servers[question->server].awaited;
}
void StopAwaiting(DnsSession* session, DnsQuestion* question) {
    if (session->sent.erase(question) != 0) --session->servers[question->server].awaited;
}

// A try still counted in its server's window leaves it.
void Uncount(DnsSession* session, DnsTry* t) {
    DnsServerWindow& window = session->servers[t->server].window;
    if (t->counted && window.inFlight > 0) --window.inFlight;
    t->counted = false;
}

// Stops waiting for every try of the question; a try still counted leaves the window.
void Retire(DnsSession* session, DnsQuestion* question) {
    for (DnsTry* t : question->open) {
        Uncount(session, t);
        t->question = nullptr;
    }
    question->open.clear();
    question->current = nullptr;
    StopAwaiting(session, question);
}

// Takes the question out of its server's waiting line.
void Dequeue(DnsSession* session, DnsQuestion* question) {
    if (!question->queued) return;
    std::erase(session->servers[question->server].waiting, question);
    question->queued = false;
}

void Complete(DnsSession* session, DnsQuestion* question, DNS_STATUS status,
              std::span<const uint8_t> message) {
    Retire(session, question);
    Dequeue(session, question);
    for (DnsAsk* ask : question->asks) {
        ask->status = status;
        if (status == 0 &&
            DnsParseAnswer(message, question->wireName, question->type, &ask->results) != 0) {
            DnsFree(ask->results, DnsFreeRecordList);
            ask->results = nullptr;
        }
        session->done.push_back(ask);
        --session->open;
    }
    question->asks.clear();
    // What says something about the name is kept for the same question again.
    if (DnsStatusAnswersName(status) && session->answered.size() < CacheLimit) {
        try {
            session->answered.emplace(question->key,
                                      Answer{status, {message.begin(), message.end()}});
        } catch (const std::bad_alloc&) {
            // Asked again, it is sent again.
        }
    }
    session->questions.erase(question->key);
    delete question;
}

void Enqueue(DnsSession* session, DnsQuestion* question, bool first) {
    if (question->queued) return;
    question->queued = true;
    std::deque<DnsQuestion*>& waiting = session->servers[question->server].waiting;
    if (first)
        waiting.push_front(question);
    else
        waiting.push_back(question);
}

// The question failed at its server with status: the next server, or the end.
void MoveOn(DnsSession* session, DnsQuestion* question, DNS_STATUS status) {
    Retire(session, question);
    Dequeue(session, question);
    if (question->server + 1 >= session->servers.size()) {
        Complete(session, question, status, {});
        return;
    }
    ++question->server;
    question->startedOnServer = false;
    question->retries = 0;
    question->overloadRetries = 0;
    question->holdUntil = NoHold;
    question->overTcp = false;
    Enqueue(session, question, false);
}

// Sends the next try of the question to its server.
void Send(DnsSession* session, DnsQuestion* question, DnsClock::time_point now) {
    DnsServer& server = session->servers[question->server];
    const bool tcp = question->overTcp || server.overTcp;
    if (tcp && !server.tcp) server.tcp = ChannelFor(server.node, true);
    ares_channel channel = tcp ? server.tcp.get() : server.udp.get();
    std::vector<uint8_t> query;
    DnsTry* t = nullptr;
    try {
        uint16_t id = 0;
        if (getrandom(&id, sizeof id, 0) != ssize_t(sizeof id))
            id = uint16_t(std::random_device()());
        query = DnsBuildQuery(question->wireName, question->type, id);
        t = new DnsTry{session, question, question->server, tcp, true, now};
        question->open.push_back(t);
    } catch (const std::bad_alloc&) {
        delete t;
        Complete(session, question, ERROR_NOT_ENOUGH_MEMORY, {});
        return;
    }
    if (channel == nullptr) {
        question->open.pop_back();
        delete t;
        MoveOn(session, question, ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (!question->startedOnServer) {
        question->startedOnServer = true;
        question->firstSent = now;
    }
    const DnsClock::time_point end = question->firstSent + session->limits.perServer;
    question->current = t;
    question->retransmitAt =
        tcp ? end
            : std::min(end, now + DnsWindowRto(server.window, session->limits, question->retries));
    Await(session, question);
    DnsWindowSent(server.window, now);
    // A failure to open the socket calls back at once, inside ares_send.
    session->sending = true;
    ares_send(channel, query.data(), int(query.size()), OnAnswer, t);
    session->sending = false;
}

// A server that refused the connection or cannot be reached: its questions move on at once.
void ServerDown(DnsSession* session, size_t index, DNS_STATUS status) {
    DnsServer& server = session->servers[index];
    if (server.down == 0) server.down = status;
    std::vector<DnsQuestion*> here;
    for (DnsQuestion* question : session->sent)
        if (question->server == index) here.push_back(question);
    for (DnsQuestion* question : here)
        MoveOn(session, question, server.down);
}

// Sends what the windows and the pacing let go; questions at a server that is down or silent
// move on.
void Pump(DnsSession* session, DnsClock::time_point now) {
    for (size_t i = 0; i < session->servers.size(); ++i) {
        DnsServer& server = session->servers[i];
        server.hasPacing = false;
        while (!server.waiting.empty()) {
            DnsQuestion* question = server.waiting.front();
            if (server.down != 0 || server.silent) {
                server.waiting.pop_front();
                question->queued = false;
                MoveOn(session, question, server.down != 0 ? server.down : ERROR_TIMEOUT);
                continue;
            }
            if (server.awaited > question->holdUntil)
                break; // an overload retry waits for fewer in flight, and the rest behind it
            if (!DnsWindowMaySend(server.window, now, &server.ready)) {
                server.hasPacing = double(server.window.inFlight) + 1 <= server.window.window;
                break;
            }
            server.waiting.pop_front();
            question->queued = false;
            Send(session, question, now);
        }
    }
}

// Tries whose time is up: sent again, or the question moves on. Tries presumably lost leave
// their window before that.
void CheckTimers(DnsSession* session, DnsClock::time_point now) {
    std::vector<DnsQuestion*> due;
    for (DnsQuestion* question : session->sent) {
        if (question->retransmitAt <= now) {
            due.push_back(question);
            continue;
        }
        DnsTry* t = question->current;
        DnsServer& server = session->servers[question->server];
        if (t != nullptr && t->counted && !t->tcp &&
            DnsWindowPresumedLost(server.window, now, t->sentAt)) {
            DnsWindowLost(server.window, now, t->sentAt);
            t->counted = false;
        }
    }
    for (DnsQuestion* question : due) {
        DnsServer& server = session->servers[question->server];
        DnsTry* t = question->current;
        if (t != nullptr && t->counted) {
            DnsWindowLost(server.window, now, t->sentAt);
            t->counted = false;
        }
        question->current = nullptr;
        StopAwaiting(session, question);
        if (server.window.answered && server.window.lossRate >= RateLimitLossRate &&
            server.tcpFailures < TcpFailuresForUdp)
            server.overTcp = true; // drops while answers come: a rate limiter
        if (now >= question->firstSent + session->limits.perServer) {
            // Nothing at all from the server for so long: it is not there.
            if (!server.window.answered ||
                server.window.lastAnswer + session->limits.perServer <= now)
                server.silent = true;
            MoveOn(session, question, ERROR_TIMEOUT);
        } else {
            ++question->retries;
            Enqueue(session, question, true);
        }
    }
}

void TakeAnswer(DnsSession* session, DnsTry* t, std::span<const uint8_t> message,
                DnsClock::time_point now) {
    DnsQuestion* question = t->question;
    DnsServer& server = session->servers[t->server];
    const bool counted = t->counted;
    t->counted = false;
    if (question->current == t) {
        question->current = nullptr;
        StopAwaiting(session, question);
    }

    if (!t->tcp && message.size() > 2 && (message[2] & 0x02) != 0) { // truncated
        DnsWindowAnswered(server.window, now, t->sentAt, counted, true);
        if (++server.truncations >= TruncationsForTcp && server.tcpFailures < TcpFailuresForUdp)
            server.overTcp = true;
        question->overTcp = true;
        Retire(session, question); // the UDP tries would only bring the same
        Enqueue(session, question, true);
        return;
    }

    DNS_RECORD* records = nullptr;
    DNS_STATUS status = DnsParseAnswer(message, question->wireName, question->type, &records);
    DnsFree(records, DnsFreeRecordList);
    DnsWindowAnswered(server.window, now, t->sentAt, counted, DnsStatusMayBeOverload(status));
    // Perhaps only too many at once: asked again when fewer are in flight. A server that
    // recurses (RA) may refuse for overload again while it sheds load, so it gets a few
    // tries, each with half as many in flight, and the last one alone: what it answers to a
    // question asked alone is what one query at a time gets. One that does not recurse (an
    // authoritative server refusing names outside its zones) gets one. The server answered, so
    // each try has the server's whole time again.
    const bool recursive = message.size() > 3 && (message[3] & 0x80) != 0;
    const unsigned retries = recursive ? OverloadRetriesRecursive : 1;
    if (DnsStatusMayBeOverload(status) && question->overloadRetries < retries) {
        ++question->overloadRetries;
        question->holdUntil = recursive && question->overloadRetries == retries
                                  ? 0
                                  : std::max<size_t>(1, server.awaited / 2);
        question->startedOnServer = false;
        Retire(session, question);
        Enqueue(session, question, true);
        return;
    }
    if (AskNextServer(status))
        MoveOn(session, question, status);
    else
        Complete(session, question, status, message);
}

// A try that failed without an answer leaves the window; when the question was waiting for
// it, the question is sent again first.
void SendAgain(DnsSession* session, DnsTry* t) {
    Uncount(session, t);
    DnsQuestion* question = t->question;
    if (question->current != t) return;
    question->current = nullptr;
    StopAwaiting(session, question);
    Enqueue(session, question, true);
}

// c-ares callback. Never throws; may run inside ares_send (a socket that cannot be opened).
void OnAnswer(void* arg, int aresStatus, int, unsigned char* answer, int length) {
    std::unique_ptr<DnsTry> t(static_cast<DnsTry*>(arg));
    DnsSession* session = t->session;
    if (session->closing) return;
    DnsQuestion* question = t->question;
    if (question == nullptr) return; // answered otherwise, or given up
    std::erase(question->open, t.get());
    const DnsClock::time_point now = DnsClock::now();

    switch (aresStatus) {
    case ARES_SUCCESS:
        if (answer != nullptr && length >= 0) {
            TakeAnswer(session, t.get(), std::span<const uint8_t>(answer, size_t(length)), now);
            return;
        }
        break;
    case ARES_ECONNREFUSED: { // a socket error: no server there
        DnsServer& server = session->servers[t->server];
        SendAgain(session, t.get());
        if (t->tcp && !session->sending) {
            // A TCP connection that broke or was refused; UDP may still work.
            if (++server.tcpFailures >= TcpFailuresForUdp) server.overTcp = false;
            question->overTcp = false;
            return;
        }
        // Every question at the server moves on, this one too (it may be gone afterwards).
        ServerDown(session, t->server, session->sending ? WSAEHOSTUNREACH : WSAECONNREFUSED);
        return;
    }
    case ARES_ETIMEOUT:
    case ARES_ECANCELLED:
    case ARES_EDESTRUCTION:
        // Our own time-outs come first; this try was no longer waited for.
        return;
    case ARES_ENOMEM:
        Complete(session, question, ERROR_NOT_ENOUGH_MEMORY, {});
        return;
    default:
        break;
    }
    Uncount(session, t.get());
    if (question->current == t.get()) MoveOn(session, question, DNS_ERROR_BAD_PACKET);
}

// The earliest time anything is due: a try's time-out, a paced send, a c-ares time-out.
DnsClock::time_point NextDue(DnsSession* session, DnsClock::time_point limit) {
    for (DnsQuestion* question : session->sent)
        limit = std::min(limit, question->retransmitAt);
    for (DnsServer& server : session->servers)
        if (server.hasPacing) limit = std::min(limit, server.ready);
    return limit;
}

// Waits for socket activity until `until` and lets c-ares process it and its time-outs. Returns
// false when a signal interrupted the wait.
bool DriveOnce(DnsSession* session, DnsClock::time_point until) {
    constexpr size_t MaxSockets = ARES_GETSOCK_MAXNUM;
    std::vector<pollfd> fds;
    struct Owner {
        size_t server;
        ares_channel channel;
        bool tcp;
    };
    std::vector<Owner> owners;
    DnsClock::time_point now = DnsClock::now();
    until = NextDue(session, until);
    for (size_t s = 0; s < session->servers.size(); ++s) {
        for (bool tcp : {false, true}) {
            ares_channel channel =
                tcp ? session->servers[s].tcp.get() : session->servers[s].udp.get();
            if (channel == nullptr) continue;
            timeval buffer{};
            if (timeval* next = ares_timeout(channel, nullptr, &buffer))
                until = std::min(until, now + std::chrono::seconds(next->tv_sec) +
                                            std::chrono::microseconds(next->tv_usec));
            ares_socket_t sockets[MaxSockets];
            int bits = ares_getsock(channel, sockets, int(MaxSockets));
            for (size_t i = 0; i < MaxSockets; ++i) {
                short events = 0;
                if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
                if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
                if (events == 0) continue;
                fds.push_back(pollfd{sockets[i], events, 0});
                owners.push_back(Owner{s, channel, tcp});
            }
        }
    }
    auto wait = std::max<DnsClock::duration>(until - now, DnsClock::duration::zero());
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    timespec timeout{
        time_t(seconds.count()),
        long(std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds).count())};
    int ready = ppoll(fds.data(), nfds_t(fds.size()), &timeout, nullptr);
    if (ready < 0 && errno == EINTR) return false;
    for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        short got = fds[i].revents;
        if (got == 0) continue;
        const Owner& owner = owners[i];
        if ((got & POLLERR) != 0 && !owner.tcp) {
            // An ICMP error on the server's socket: it refused, or cannot be reached.
            int error = 0;
            socklen_t size = sizeof error;
            if (getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0) {
                ServerDown(session, owner.server, StatusFromSocketError(error));
                continue;
            }
        }
        bool readable = (got & (POLLIN | POLLERR | POLLHUP)) != 0;
        bool writable = (got & POLLOUT) != 0;
        ares_process_fd(owner.channel, readable ? fds[i].fd : ARES_SOCKET_BAD,
                        writable ? fds[i].fd : ARES_SOCKET_BAD);
    }
    // Time-outs of every channel, whether or not its sockets had anything.
    for (DnsServer& server : session->servers)
        for (ares_channel channel : {server.udp.get(), server.tcp.get()})
            if (channel != nullptr) ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    return true;
}

void HandBack(DnsAsk* ask) {
    ask->request->status = ask->status;
    ask->request->results = ask->results;
    ask->results = nullptr;
    delete ask;
}

} // namespace

void DnsClientSetPortForTesting(uint16_t port) {
    PortForTesting.store(port);
}

void DnsClientSetTimeoutForTesting(uint32_t milliseconds) {
    TryTimeForTesting.store(milliseconds);
}

DnsSession* DnsSessionOpen(uint32_t, const IP4_ARRAY* servers) {
    // The options only choose between the cache, the hosts file and the servers elsewhere;
    // here every query goes to the servers.
    try {
        auto session = std::make_unique<DnsSession>();
        session->limits = Limits();
        std::vector<ares_addr_port_node> nodes = ServerNodes(servers);
        const DnsClock::time_point now = DnsClock::now();
        session->servers.resize(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            DnsServer& server = session->servers[i];
            server.node = nodes[i];
            server.udp = ChannelFor(nodes[i], false);
            if (!server.udp) return nullptr;
            DnsWindowStart(server.window, now);
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
        std::vector<uint8_t> wireName;
        DNS_STATUS status = DnsEncodeQueryName(request->name, wireName);
        if (status != 0) {
            request->status = status;
            return false;
        }
        std::string key = QuestionKey(wireName, request->type);
        auto ask = std::make_unique<DnsAsk>();
        ask->request = request;
        if (auto known = session->answered.find(key); known != session->answered.end()) {
            ask->status = known->second.status;
            if (ask->status == 0 && DnsParseAnswer(known->second.message, wireName, request->type,
                                                   &ask->results) != 0) {
                DnsFree(ask->results, DnsFreeRecordList);
                ask->results = nullptr;
            }
            session->done.push_back(ask.release());
            return true;
        }
        DnsQuestion*& question = session->questions[key];
        if (question == nullptr) {
            auto fresh = std::make_unique<DnsQuestion>();
            fresh->key = key;
            fresh->wireName = std::move(wireName);
            fresh->type = request->type;
            fresh->asks.reserve(1);
            question = fresh.release();
            Enqueue(session, question, false);
        }
        question->asks.push_back(ask.release());
        ++session->open;
        Pump(session, DnsClock::now());
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
        const DnsClock::time_point deadline =
            DnsClock::now() + std::chrono::milliseconds(timeoutMs);
        for (bool first = true; session->done.empty() && session->open != 0; first = false) {
            DnsClock::time_point now = DnsClock::now();
            CheckTimers(session, now);
            Pump(session, now);
            if (!session->done.empty() || (!first && now >= deadline)) break;
            if (!DriveOnce(session, deadline)) break; // a signal
            now = DnsClock::now();
            CheckTimers(session, now);
            Pump(session, now);
        }
    } catch (const std::bad_alloc&) {
        // What completed so far is still handed back.
    }
    size_t count = 0;
    while (count < capacity && !session->done.empty()) {
        DnsAsk* ask = session->done.front();
        session->done.pop_front();
        done[count++] = ask->request;
        HandBack(ask);
    }
    return count;
}

size_t DnsSessionPending(const DnsSession* session) {
    return session != nullptr ? session->open + session->done.size() : 0;
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
    for (size_t i = 0; i < count; ++i)
        DnsSessionSubmit(session, &requests[i]);
    DnsQueryRequest* done[64];
    while (DnsSessionPending(session) != 0)
        DnsSessionWait(session, 1000, done, std::size(done));
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
