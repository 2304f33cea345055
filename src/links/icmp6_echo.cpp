#include "icmp6_echo.h"

#include "errors.h"
#include "socket_message.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace icmp6 {

namespace {

constexpr std::size_t ipv6header = 40, ipv4header = 20, icmpheader = 8;

void option(int fd, int level, int name, const void *value, socklen_t size) {
    if (::setsockopt(fd, level, name, value, size) != 0)
        throw KrovanError(std::string("Cannot set up the ICMP socket: ") + std::strerror(errno));
}

std::string fourheader(std::size_t size, int hops) {
    std::string header(ipv4header, '\0');
    header[0] = 0x45;
    const std::size_t total = size + ipv4header;
    header[2] = static_cast<char>((total >> 8) & 0xff);
    header[3] = static_cast<char>(total & 0xff);
    header[8] = static_cast<char>(hops);
    header[9] = 1; // ICMP
    return header;
}

// The IPv4 type of an ICMPv6 one the echo understands; 0xff for others.
unsigned char fourtype(unsigned char type) {
    switch (type) {
    case echoreply:
        return 0;
    case unreachable:
        return 3;
    case timeexceeded:
        return 11;
    default:
        return 0xff;
    }
}

std::string text(const in6_addr &address) {
    char buffer[INET6_ADDRSTRLEN] = "::";
    inet_ntop(AF_INET6, &address, buffer, sizeof buffer);
    return buffer;
}

} // namespace

void setup(int fd, bool raw, int hops) {
    const int on = 1;
    option(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops, sizeof hops);
    option(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
    if (!raw) {
        option(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
        return;
    }
    // A raw socket hears all ICMPv6 (neighbour discovery, and its own
    // requests on the loopback too): only the types an echo can end with
    // pass.
    icmp6_filter filter{};
    ICMP6_FILTER_SETBLOCKALL(&filter);
    for (const int type : {echoreply, unreachable, timeexceeded})
        ICMP6_FILTER_SETPASS(type, &filter);
    option(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
}

std::optional<std::string> receive(int fd, std::string &sender) {
    char buffer[icmp::receiveBuffer];
    char control[128];
    sockaddr_in6 from{};
    iovec io{buffer, sizeof buffer - ipv4header};
    msghdr message = messageheader(&from, sizeof from, io, control, sizeof control);
    const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (got < static_cast<ssize_t>(icmpheader))
        return std::nullopt;
    const unsigned char type = fourtype(static_cast<unsigned char>(buffer[0]));
    if (type == 0xff)
        return std::nullopt;
    int hops = 0;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT)
            std::memcpy(&hops, CMSG_DATA(c), sizeof hops);
    sender = text(from.sin6_addr);
    std::string body(buffer, static_cast<std::size_t>(got));
    body[0] = static_cast<char>(type);
    // An error quotes the request behind its IPv6 header: the quote gets an
    // IPv4-shaped header as long as the outer one.
    if ((type == 3 || type == 11) && body.size() >= icmpheader + ipv6header)
        body = body.substr(0, icmpheader) + fourheader(0, 0) + body.substr(icmpheader + ipv6header);
    return fourheader(body.size(), hops) + body;
}

std::optional<icmp::Reply> queuederror(int fd, std::uint16_t sequence) {
    char buffer[icmp::receiveBuffer];
    char control[512];
    sockaddr_in6 from{};
    iovec io{buffer, sizeof buffer};
    msghdr message = messageheader(&from, sizeof from, io, control, sizeof control);
    if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
        return std::nullopt;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != IPPROTO_IPV6 || c->cmsg_type != IPV6_RECVERR)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        if (error.ee_origin != SO_EE_ORIGIN_ICMP6 ||
            (error.ee_type != unreachable && error.ee_type != timeexceeded))
            continue;
        icmp::Reply reply;
        reply.kind =
            error.ee_type == unreachable ? icmp::Kind::Unreachable : icmp::Kind::TtlExceeded;
        reply.type = fourtype(error.ee_type);
        reply.sequence = sequence;
        const auto *offender = reinterpret_cast<const sockaddr_in6 *>(
            SO_EE_OFFENDER(reinterpret_cast<sock_extended_err *>(CMSG_DATA(c))));
        reply.sender = offender->sin6_family == AF_INET6 ? text(offender->sin6_addr) : "::";
        return reply;
    }
    return std::nullopt;
}

} // namespace icmp6
