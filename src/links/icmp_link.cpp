#include "icmp_link.h"

#include "endpoint.h"
#include "icmp6_echo.h"
#include "socket_message.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Closes the echo's socket however the echo ends.
class SocketHolder {
public:
    explicit SocketHolder(int fd) : fd_(fd) {}
    ~SocketHolder() { close(); }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    SocketHolder(const SocketHolder &) = delete;
    SocketHolder &operator=(const SocketHolder &) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

std::string systemerror(const char *what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The echo's target: a literal IPv4 or IPv6 address, else the name's first
// IPv4 address where it has one, else its first IPv6 address. The text is
// taken as it stands (no blanks are trimmed).
Endpoint resolve(const std::string &host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_RAW;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        throw KrovanError("Cannot resolve host \"" + host + "\".");
    const addrinfo *chosen = found;
    for (const addrinfo *each = found; each; each = each->ai_next)
        if (each->ai_family == AF_INET) {
            chosen = each;
            break;
        }
    sockaddr_storage storage{};
    std::memcpy(&storage, chosen->ai_addr,
                std::min<std::size_t>(chosen->ai_addrlen, sizeof storage));
    const Endpoint target = Endpoint::fromsystem(storage, chosen->ai_addrlen);
    freeaddrinfo(found);
    return target;
}

// The millisecond tick count of the system.
std::uint32_t ticks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

std::string pinggroups() {
    std::ifstream file("/proc/sys/net/ipv4/ping_group_range");
    std::string low, high;
    if (file >> low >> high)
        return " (now " + low + " " + high + ")";
    return std::string();
}

// A raw socket of the target's family when allowed, else the ICMP datagram
// socket.
int opensocket(int family, IcmpLink::Socket &kind) {
    const int protocol = family == AF_INET6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    int fd = ::socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
    if (fd >= 0) {
        kind = IcmpLink::Socket::Raw;
        return fd;
    }
    if (errno != EPERM && errno != EACCES)
        throw KrovanError(systemerror("Cannot open a raw ICMP socket"));
    fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
    if (fd >= 0) {
        kind = IcmpLink::Socket::Datagram;
        return fd;
    }
    throw IcmpPermissionError(
        "ICMP echo is not allowed to this user: a raw socket needs the capability CAP_NET_RAW, "
        "and an ICMP datagram socket needs one of the user's groups within "
        "net.ipv4.ping_group_range" +
        pinggroups() + ".");
}

void option(int fd, int level, int name, int value) {
    if (setsockopt(fd, level, name, &value, sizeof value) != 0)
        throw KrovanError(systemerror("Cannot set up the ICMP socket"));
}

// One packet as the raw socket gives it: the IP header, then the ICMP
// message. The datagram socket delivers only the message, so a plain
// 20-byte header with the sender and the time-to-live is put in front.
std::string withipheader(const char *message, std::size_t size, const sockaddr_in &from, int ttl) {
    std::string packet(20, '\0');
    packet[0] = 0x45;
    const std::size_t total = size + 20;
    packet[2] = static_cast<char>((total >> 8) & 0xff);
    packet[3] = static_cast<char>(total & 0xff);
    packet[8] = static_cast<char>(ttl);
    packet[9] = IPPROTO_ICMP;
    std::memcpy(&packet[12], &from.sin_addr, 4);
    packet.append(message, size);
    return packet;
}

// An ICMP error the datagram socket queued about its request.
std::optional<icmp::Reply> queuederror(int fd, std::uint16_t sequence) {
    char buffer[icmp::receiveBuffer];
    char control[512];
    sockaddr_in from{};
    iovec io{buffer, sizeof buffer};
    msghdr message = messageheader(&from, sizeof from, io, control, sizeof control);
    if (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
        return std::nullopt;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        if (error.ee_origin != SO_EE_ORIGIN_ICMP || (error.ee_type != 3 && error.ee_type != 11))
            continue;
        icmp::Reply reply;
        reply.kind = error.ee_type == 3 ? icmp::Kind::Unreachable : icmp::Kind::TtlExceeded;
        reply.type = error.ee_type;
        reply.sequence = sequence;
        const auto *offender = reinterpret_cast<const sockaddr_in *>(
            SO_EE_OFFENDER(reinterpret_cast<sock_extended_err *>(CMSG_DATA(c))));
        char text[INET_ADDRSTRLEN] = "0.0.0.0";
        if (offender->sin_family == AF_INET)
            inet_ntop(AF_INET, &offender->sin_addr, text, sizeof text);
        reply.sender = text;
        return reply;
    }
    return std::nullopt;
}

// Receives one packet; nothing when the read gave nothing usable.
std::optional<std::string> receive(int fd, IcmpLink::Socket kind) {
    char buffer[icmp::receiveBuffer];
    if (kind == IcmpLink::Socket::Raw) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0)
            return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(got));
    }
    char control[128];
    sockaddr_in from{};
    iovec io{buffer, sizeof buffer - 20};
    msghdr message = messageheader(&from, sizeof from, io, control, sizeof control);
    const ssize_t got = recvmsg(fd, &message, MSG_DONTWAIT);
    if (got < 0)
        return std::nullopt;
    int ttl = 0;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL)
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
    return withipheader(buffer, static_cast<std::size_t>(got), from, ttl);
}

} // namespace

std::uint16_t icmpidentifier() {
    return static_cast<std::uint16_t>(getpid() & 0xffff);
}

namespace {

// Sets the echo's socket up for its family: the time-to-live or hop limit
// of the request, and what the datagram socket reports beside its replies.
void setupsocket(int fd, bool six, IcmpLink::Socket kind) {
    if (six)
        return icmp6::setup(fd, kind == IcmpLink::Socket::Raw, IcmpLink::timeToLive);
    option(fd, IPPROTO_IP, IP_TTL, IcmpLink::timeToLive);
    if (kind == IcmpLink::Socket::Datagram) {
        option(fd, IPPROTO_IP, IP_RECVTTL, 1);
        option(fd, IPPROTO_IP, IP_RECVERR, 1);
    }
}

// Waits until the deadline for the answer to echo `sequence`: a reply, an
// error about it, or nothing (a time-out).
icmp::Reply awaitreply(int fd, bool six, IcmpLink::Socket kind, std::uint16_t sequence,
                       std::chrono::steady_clock::time_point deadline) {
    using clock = std::chrono::steady_clock;
    // The datagram socket's requests carry the kernel's identifier and only
    // its own replies reach it; the raw socket sees every ICMP packet.
    const std::optional<std::uint16_t> identifier =
        kind == IcmpLink::Socket::Raw ? std::optional<std::uint16_t>(icmpidentifier())
                                      : std::nullopt;
    icmp::Reply timeout;
    timeout.sequence = sequence;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return timeout;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return timeout;
        if (waiting.revents & POLLERR) {
            if (const auto error =
                    six ? icmp6::queuederror(fd, sequence) : queuederror(fd, sequence))
                return *error;
            continue;
        }
        std::string sender;
        const std::optional<std::string> packet =
            six ? icmp6::receive(fd, sender) : receive(fd, kind);
        if (!packet)
            continue;
        if (auto answer = icmp::decodereply(*packet, sequence, identifier)) {
            if (six)
                answer->sender = sender;
            return *answer;
        }
    }
}

} // namespace

void IcmpLink::ping(const std::string &data) {
    std::string block = icmp::echoblock(icmpidentifier(), sequence, ticks(), data);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeout);
    const Endpoint target = resolve(host);
    const bool six = target.family() == AF_INET6;
    // ICMPv6 numbers the request 128; its checksum is the kernel's to fill.
    if (six)
        block[0] = static_cast<char>(icmp6::echorequest);

    Socket kind = Socket::None;
    SocketHolder socket(opensocket(target.family(), kind));
    lastsocket_ = kind;
    setupsocket(socket.fd(), six, kind);
    if (::sendto(socket.fd(), block.data(), block.size(), 0, target.sockaddress(),
                 target.length()) < 0)
        throw KrovanError(systemerror("Cannot send the echo request"));
    const icmp::Reply reply = awaitreply(socket.fd(), six, kind, sequence, deadline);
    // Closed before the notification, whose automatic reply may echo again.
    socket.close();
    ++sequence;
    if (onreply)
        onreply(reply);
    report(reply);
}

void IcmpLink::open() {
    on_ = true;
    emit opened();
}

void IcmpLink::close() {
    if (!on_)
        return;
    on_ = false;
    emit closed(false);
}

void IcmpLink::report(const icmp::Reply &reply) {
    if (reply.kind != icmp::Kind::Echo) {
        emit failed("CHYBA - nepřišla odpověď.");
        return;
    }
    const std::string data = icmp::replydata(reply);
    emit received(data, "ICMP " + QString::fromStdString(reply.sender) + " - " +
                            QString::number(data.size()) + "bajtů");
}
