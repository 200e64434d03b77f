// A DNS server for the platform tests: UDP and TCP on 127.0.0.1 with one ephemeral port, on its
// own thread, answering from a table of canned raw responses.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Builders of canned answers. The server puts the question at offset 12, so a record owner of
// QuestionName points at the queried name.
inline const Bytes QuestionName = {0xC0, 0x0C};
Bytes Labels(std::string_view dotted); // the labels of a dotted name, without the root label
Bytes Name(std::string_view dotted);   // a whole name; "" is the root
Bytes Pointer(size_t offset);
Bytes Rr(const Bytes& owner, uint16_t type, const Bytes& data);
Bytes RrWithLength(const Bytes& owner, uint16_t type, uint16_t length, const Bytes& data);
// Header (QR, RD, RA, rcode, one question, answers records) and the records after it.
Bytes Response(uint8_t rcode, uint16_t answers, const std::vector<Bytes>& records = {});
// Offset of the first answer record when the question is name.
size_t AnswerOffset(std::string_view name);
Bytes operator+(Bytes a, const Bytes& b);

class FakeDnsServer {
  public:
    struct Reply {
        // Header (12 bytes, ID and QDCOUNT ignored) followed by the sections after the question.
        // The query's ID and question are copied in, so 0xC00C points at the question name.
        Bytes message;
        bool asIs = false;            // message is whole (question included); only the ID is copied
        bool mute = false;            // never answer
        bool truncateOverUdp = false; // over UDP send only the header with TC, whatever the size
        bool wrongId = false;         // answer with an ID that was not asked
        std::chrono::milliseconds delay{0};
        // Over UDP, datagrams sent before the answer, as given but for the first two bytes
        // (when there are two): the query's ID, or with idFlipped another one.
        struct Junk {
            Bytes datagram{};
            bool idFlipped = false;
        };
        std::vector<Junk> junkFirst{};
        bool noAnswer = false; // only the junk, no answer (UDP)
        // Over TCP: close the connection instead of answering, or frame the answer with a
        // length prefix tcpLengthError off its true length.
        bool tcpClose = false;
        int tcpLengthError = 0;
        // The first queries of this question: so many are not answered at all, then so many
        // answered REFUSED, before the answer above comes.
        size_t ignoreFirst = 0;
        size_t refuseFirst = 0;
        bool refuseWithoutRecursion = false; // those REFUSED answers without RA, as from an
                                             // authoritative-only server
    };
    struct Query {
        uint16_t id = 0;
        Bytes name; // wire form
        uint16_t type = 0;
        bool tcp = false;
        int ednsSize = -1; // the OPT record's payload size, -1 without OPT
    };

    FakeDnsServer();
    // On another loopback address (host byte order), with a given port (0: any free one).
    FakeDnsServer(uint32_t address, uint16_t port);
    ~FakeDnsServer();
    FakeDnsServer(const FakeDnsServer&) = delete;
    FakeDnsServer& operator=(const FakeDnsServer&) = delete;

    uint16_t Port() const { return port_; }
    // name in dotted lower-case form, without the final dot. Unknown questions get REFUSED.
    void SetReply(const std::string& name, uint16_t type, Reply reply);
    // Holds UDP answers back until this many queries have arrived, then sends them all.
    void HoldUntil(size_t count);
    // A server that takes only so many UDP queries at once: one that arrives while so many
    // answers are still to be sent is dropped, as a full socket buffer drops it.
    void SetCapacity(size_t queries);
    // A forwarder at its limit: a UDP query that arrives while so many answers are still to be
    // sent is answered REFUSED (with RA) at once, as a recursive server above its limit of
    // queries forwarded at once answers it.
    void SetForwardLimit(size_t queries);
    // A response rate limiter that sends no truncated answers: every n-th UDP query is dropped.
    void SetDropEvery(size_t n);
    size_t Refused() const;
    std::vector<Query> Queries() const;
    // UDP answers waiting to be sent when each UDP query arrived, dropped queries included.
    std::vector<size_t> InFlightSeen() const;
    size_t Dropped() const;
    size_t TcpConnections() const;

  private:
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        int fd; // the TCP connection, or the UDP socket
        bool tcp;
        Bytes peer; // sockaddr of the UDP client
        Bytes message;
        int lengthError = 0; // TCP: the length prefix is off by this
        bool close = false;  // TCP: close the connection instead
    };
    void Run();
    void Handle(const uint8_t* data, size_t size, int fd, bool tcp, const Bytes& peer);
    void Send(const Outgoing& out);

    int udp_ = -1, tcp_ = -1, wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::map<std::pair<std::string, uint16_t>, Reply> replies_;
    std::vector<Query> queries_;
    std::vector<Outgoing> outgoing_;
    std::map<int, Bytes> connections_; // TCP connection -> bytes received so far
    size_t holdUntil_ = 0;
    size_t capacity_ = 0;
    size_t forwardLimit_ = 0;
    size_t dropEvery_ = 0;
    size_t udpQueries_ = 0;
    size_t refused_ = 0;
    size_t dropped_ = 0;
    size_t tcpConnections_ = 0;
    std::vector<size_t> inFlightSeen_;
    std::map<std::pair<std::string, uint16_t>, size_t> asked_;
    mutable std::mutex mutex_;
    std::thread thread_;
};
