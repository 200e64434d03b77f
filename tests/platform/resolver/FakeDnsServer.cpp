#include "FakeDnsServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t HeaderSize = 12;

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
void Set16(uint8_t* p, uint16_t value) {
    p[0] = uint8_t(value >> 8);
    p[1] = uint8_t(value);
}

std::string NameKey(const Bytes& wire) {
    std::string key;
    for (size_t pos = 0; pos < wire.size() && wire[pos] != 0; pos += 1 + wire[pos]) {
        if (!key.empty()) key += '.';
        for (size_t i = pos + 1; i <= pos + wire[pos] && i < wire.size(); ++i)
            key += char(wire[i] >= 'A' && wire[i] <= 'Z' ? wire[i] + 32 : wire[i]);
    }
    return key;
}

} // namespace

FakeDnsServer::FakeDnsServer() : FakeDnsServer(INADDR_LOOPBACK, 0) {}

FakeDnsServer::FakeDnsServer(uint32_t host, uint16_t port) {
    if (pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    for (int attempt = 0; attempt < 50 && tcp_ < 0; ++attempt) {
        udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int buffer = 4 << 20; // hundreds of queries may arrive at once
        setsockopt(udp_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(host);
        address.sin_port = htons(port);
        socklen_t length = sizeof address;
        if (bind(udp_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            getsockname(udp_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("bind udp");
        tcp_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(tcp_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(tcp_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(tcp_, 16) == 0) {
            port_ = ntohs(address.sin_port);
            break;
        }
        close(tcp_);
        close(udp_);
        tcp_ = udp_ = -1; // the TCP port was taken: try another ephemeral port
    }
    if (tcp_ < 0) throw std::runtime_error("no port for both UDP and TCP");
    thread_ = std::thread([this] { Run(); });
}

FakeDnsServer::~FakeDnsServer() {
    char stop = 0;
    if (write(wake_[1], &stop, 1) != 1) std::terminate();
    thread_.join();
    for (auto& [fd, buffer] : connections_)
        close(fd);
    close(udp_);
    close(tcp_);
    close(wake_[0]);
    close(wake_[1]);
}

void FakeDnsServer::SetReply(const std::string& name, uint16_t type, Reply reply) {
    std::lock_guard lock(mutex_);
    replies_[{name, type}] = std::move(reply);
}

void FakeDnsServer::HoldUntil(size_t count) {
    std::lock_guard lock(mutex_);
    holdUntil_ = count;
}

void FakeDnsServer::SetCapacity(size_t queries) {
    std::lock_guard lock(mutex_);
    capacity_ = queries;
}

void FakeDnsServer::SetForwardLimit(size_t queries) {
    std::lock_guard lock(mutex_);
    forwardLimit_ = queries;
}

void FakeDnsServer::SetDropEvery(size_t n) {
    std::lock_guard lock(mutex_);
    dropEvery_ = n;
}

size_t FakeDnsServer::Refused() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

std::vector<FakeDnsServer::Query> FakeDnsServer::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

std::vector<size_t> FakeDnsServer::InFlightSeen() const {
    std::lock_guard lock(mutex_);
    return inFlightSeen_;
}

size_t FakeDnsServer::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

size_t FakeDnsServer::TcpConnections() const {
    std::lock_guard lock(mutex_);
    return tcpConnections_;
}

void FakeDnsServer::Run() {
    uint8_t buffer[65536];
    for (;;) {
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {udp_, POLLIN, 0}, {tcp_, POLLIN, 0}};
        int waitMs = -1;
        {
            std::lock_guard lock(mutex_);
            for (auto& [fd, received] : connections_)
                fds.push_back({fd, POLLIN, 0});
            auto now = std::chrono::steady_clock::now();
            bool held = holdUntil_ != 0 && queries_.size() < holdUntil_;
            for (const Outgoing& out : outgoing_) {
                if (held && !out.tcp) continue;
                auto ms = std::chrono::ceil<std::chrono::milliseconds>(out.due - now).count();
                ms = std::max<int64_t>(ms, 0);
                if (waitMs < 0 || ms < waitMs) waitMs = int(ms);
            }
        }
        poll(fds.data(), fds.size(), waitMs);
        if (fds[0].revents != 0) return;
        if (fds[1].revents & POLLIN) {
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            ssize_t got = recvfrom(udp_, buffer, sizeof buffer, 0,
                                   reinterpret_cast<sockaddr*>(&peer), &length);
            Bytes peerBytes(reinterpret_cast<uint8_t*>(&peer),
                            reinterpret_cast<uint8_t*>(&peer) + length);
            if (got > 0) Handle(buffer, size_t(got), udp_, false, peerBytes);
        }
        if (fds[2].revents & POLLIN) {
            int client = accept4(tcp_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                std::lock_guard lock(mutex_);
                connections_[client];
                ++tcpConnections_;
            }
        }
        for (size_t i = 3; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            int fd = fds[i].fd;
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                std::lock_guard lock(mutex_);
                connections_.erase(fd);
                std::erase_if(outgoing_, [fd](const Outgoing& out) { return out.fd == fd; });
                close(fd);
                continue;
            }
            Bytes received;
            {
                std::lock_guard lock(mutex_);
                Bytes& pending = connections_[fd];
                pending.insert(pending.end(), buffer, buffer + got);
                received = pending;
            }
            size_t used = 0;
            while (received.size() - used >= 2) {
                size_t length = Get16(&received[used]);
                if (received.size() - used < 2 + length) break;
                Handle(&received[used + 2], length, fd, true, {});
                used += 2 + length;
            }
            std::lock_guard lock(mutex_);
            Bytes& pending = connections_[fd];
            pending.erase(pending.begin(), pending.begin() + used);
        }
        // Send what is due, unless UDP answers are being held back.
        std::vector<Outgoing> due;
        {
            std::lock_guard lock(mutex_);
            auto now = std::chrono::steady_clock::now();
            bool held = holdUntil_ != 0 && queries_.size() < holdUntil_;
            for (auto it = outgoing_.begin(); it != outgoing_.end();) {
                if (it->due <= now && !(held && !it->tcp)) {
                    due.push_back(std::move(*it));
                    it = outgoing_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (const Outgoing& out : due)
            Send(out);
    }
}

void FakeDnsServer::Handle(const uint8_t* data, size_t size, int fd, bool tcp, const Bytes& peer) {
    if (size < HeaderSize) return;
    Query query;
    query.id = Get16(data);
    query.tcp = tcp;
    size_t pos = HeaderSize;
    while (pos < size && data[pos] != 0)
        pos += 1 + data[pos];
    if (pos + 5 > size) return;
    query.name.assign(data + HeaderSize, data + pos + 1);
    query.type = Get16(data + pos + 1);
    size_t questionEnd = pos + 5;
    // An OPT record right after the question: root owner, type 41, class = payload size.
    if (Get16(data + 10) >= 1 && questionEnd + 11 <= size && data[questionEnd] == 0 &&
        Get16(data + questionEnd + 1) == 41)
        query.ednsSize = Get16(data + questionEnd + 3);

    std::lock_guard lock(mutex_);
    queries_.push_back(query);
    if (!tcp) {
        size_t waiting = size_t(std::count_if(outgoing_.begin(), outgoing_.end(),
                                              [](const Outgoing& out) { return !out.tcp; }));
        inFlightSeen_.push_back(waiting);
        if ((capacity_ != 0 && waiting >= capacity_) ||
            (dropEvery_ != 0 && ++udpQueries_ % dropEvery_ == 0)) {
            ++dropped_;
            return;
        }
        if (forwardLimit_ != 0 && waiting >= forwardLimit_) {
            ++refused_;
            Bytes refused = {0, 0, 0x81, 0x85, 0, 1, 0, 0, 0, 0, 0, 0};
            Set16(refused.data(), query.id);
            refused.insert(refused.end(), data + HeaderSize, data + questionEnd);
            Send({std::chrono::steady_clock::now(), fd, false, peer, refused});
            return;
        }
    }
    const std::pair<std::string, uint16_t> key{NameKey(query.name), query.type};
    const size_t asked = asked_[key]++;
    Reply reply;
    if (auto found = replies_.find(key); found != replies_.end())
        reply = found->second;
    else
        reply.message = {0, 0, 0x81, 0x85, 0, 1, 0, 0, 0, 0, 0, 0}; // REFUSED
    if (reply.mute || asked < reply.ignoreFirst) return;
    if (asked < reply.ignoreFirst + reply.refuseFirst) {
        Reply refused;
        refused.message = {0, 0, 0x81, 0x85, 0, 1, 0, 0, 0, 0, 0, 0};
        if (reply.refuseWithoutRecursion) refused.message[3] = 0x05;
        refused.delay = reply.delay;
        reply = refused;
    }
    if (!tcp) {
        for (const Reply::Junk& junk : reply.junkFirst) {
            Bytes datagram = junk.datagram;
            if (datagram.size() >= 2)
                Set16(datagram.data(), junk.idFlipped ? uint16_t(query.id ^ 0x5A5A) : query.id);
            outgoing_.push_back({std::chrono::steady_clock::now(), fd, false, peer, datagram});
        }
        if (reply.noAnswer) return;
    }
    if (reply.message.size() < HeaderSize) return;

    Bytes answer;
    if (reply.asIs) {
        answer = reply.message;
    } else {
        answer.assign(reply.message.begin(), reply.message.begin() + HeaderSize);
        Set16(&answer[4], 1);
        answer.insert(answer.end(), data + HeaderSize, data + questionEnd);
        answer.insert(answer.end(), reply.message.begin() + HeaderSize, reply.message.end());
    }
    Set16(answer.data(), reply.wrongId ? uint16_t(query.id ^ 0x5A5A) : query.id);
    size_t limit = query.ednsSize >= 512 ? size_t(query.ednsSize) : 512;
    if (!tcp && (reply.truncateOverUdp || answer.size() > limit)) {
        Bytes cut(answer.begin(), answer.begin() + HeaderSize);
        cut[2] |= 0x02; // TC
        Set16(&cut[4], 1);
        for (int count = 6; count < 12; count += 2)
            Set16(&cut[count], 0);
        cut.insert(cut.end(), data + HeaderSize, data + questionEnd);
        answer = std::move(cut);
    }
    outgoing_.push_back({std::chrono::steady_clock::now() + reply.delay, fd, tcp, peer,
                         std::move(answer), tcp ? reply.tcpLengthError : 0, tcp && reply.tcpClose});
}

void FakeDnsServer::Send(const Outgoing& out) {
    if (out.tcp && out.close) {
        shutdown(out.fd, SHUT_RDWR);
        return;
    }
    if (out.tcp) {
        size_t length = size_t(int(out.message.size()) + out.lengthError);
        Bytes framed = {uint8_t(length >> 8), uint8_t(length)};
        framed.insert(framed.end(), out.message.begin(), out.message.end());
        if (send(out.fd, framed.data(), framed.size(), MSG_NOSIGNAL) < 0) return;
    } else {
        sendto(out.fd, out.message.data(), out.message.size(), 0,
               reinterpret_cast<const sockaddr*>(out.peer.data()), socklen_t(out.peer.size()));
    }
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Labels(std::string_view dotted) {
    Bytes out;
    while (!dotted.empty()) {
        size_t dot = dotted.find('.');
        std::string_view label = dotted.substr(0, dot);
        out.push_back(uint8_t(label.size()));
        out.insert(out.end(), label.begin(), label.end());
        dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
    }
    return out;
}

Bytes Name(std::string_view dotted) {
    return Labels(dotted) + Bytes{0};
}

Bytes Pointer(size_t offset) {
    return {uint8_t(0xC0 | offset >> 8), uint8_t(offset)};
}

Bytes RrWithLength(const Bytes& owner, uint16_t type, uint16_t length, const Bytes& data) {
    Bytes fixed = {uint8_t(type >> 8),   uint8_t(type),  0, 1, 0, 0, 0x0E, 0x10,
                   uint8_t(length >> 8), uint8_t(length)};
    return owner + fixed + data;
}

Bytes Rr(const Bytes& owner, uint16_t type, const Bytes& data) {
    return RrWithLength(owner, type, uint16_t(data.size()), data);
}

Bytes Response(uint8_t rcode, uint16_t answers, const std::vector<Bytes>& records) {
    Bytes out = {
        0, 0, 0x81, uint8_t(0x80 | rcode), 0, 1, uint8_t(answers >> 8), uint8_t(answers), 0,
        0, 0, 0};
    for (const Bytes& record : records)
        out = out + record;
    return out;
}

size_t AnswerOffset(std::string_view name) {
    return HeaderSize + Name(name).size() + 4;
}
