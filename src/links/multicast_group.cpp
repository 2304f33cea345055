#include "multicast_group.h"

#include "errors.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

std::optional<QHostAddress> literaladdress(const QString &text) {
    const QString trimmed = text.trimmed();
    QHostAddress address;
    if (address.setAddress(trimmed))
        return address;
    const qsizetype percent = trimmed.indexOf('%');
    if (percent > 0 && address.setAddress(trimmed.left(percent)) &&
        address.protocol() == QAbstractSocket::IPv4Protocol)
        return address;
    return std::nullopt;
}

std::optional<MulticastGroup> multicastgroup(const QString &destination) {
    const std::optional<QHostAddress> address = literaladdress(destination);
    if (!address || !address->isMulticast())
        return std::nullopt;
    MulticastGroup group;
    group.address = *address;
    const QString trimmed = destination.trimmed();
    const qsizetype percent = trimmed.indexOf('%');
    if (percent < 0)
        return group;
    group.interfacename = trimmed.mid(percent + 1);
    bool numeric = false;
    group.interface = group.interfacename.toUInt(&numeric);
    if (!numeric)
        group.interface = ::if_nametoindex(group.interfacename.toLocal8Bit().constData());
    if (group.interface == 0)
        throw KrovanError(("No interface \"" + group.interfacename + "\".").toStdString());
    // The zone goes with the interface, not with the group's own address.
    group.address.setScopeId(QString());
    return group;
}

MulticastMembership::MulticastMembership(int fd, int family, const MulticastGroup &group, int hops)
    : fd_(fd), six_(group.address.protocol() == QAbstractSocket::IPv6Protocol), group_(group) {
    const int loop = 1;
    if (six_) {
        if (family != AF_INET6)
            throw KrovanError("An IPv6 group needs IPv6.");
        ipv6_mreq request{};
        const Q_IPV6ADDR bytes = group.address.toIPv6Address();
        std::memcpy(&request.ipv6mr_multiaddr, bytes.c, sizeof request.ipv6mr_multiaddr);
        request.ipv6mr_interface = group.interface;
        option(IPPROTO_IPV6, IPV6_JOIN_GROUP, &request, sizeof request, "join the group");
        option(IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops, "set the hop limit");
        option(IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &loop, sizeof loop, "loop the group back");
        if (group.interface != 0)
            option(IPPROTO_IPV6, IPV6_MULTICAST_IF, &group.interface, sizeof group.interface,
                   "choose the interface");
        return;
    }
    // An IPv4 group's options are taken by a socket of both families too.
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = htonl(group.address.toIPv4Address());
    request.imr_ifindex = static_cast<int>(group.interface);
    option(IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request, "join the group");
    option(IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops, "set the hop limit");
    option(IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop, "loop the group back");
    if (group.interface != 0) {
        ip_mreqn outgoing{};
        outgoing.imr_ifindex = static_cast<int>(group.interface);
        option(IPPROTO_IP, IP_MULTICAST_IF, &outgoing, sizeof outgoing, "choose the interface");
    }
}

MulticastMembership::~MulticastMembership() {
    if (six_) {
        ipv6_mreq request{};
        const Q_IPV6ADDR bytes = group_.address.toIPv6Address();
        std::memcpy(&request.ipv6mr_multiaddr, bytes.c, sizeof request.ipv6mr_multiaddr);
        request.ipv6mr_interface = group_.interface;
        ::setsockopt(fd_, IPPROTO_IPV6, IPV6_LEAVE_GROUP, &request, sizeof request);
        return;
    }
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = htonl(group_.address.toIPv4Address());
    request.imr_ifindex = static_cast<int>(group_.interface);
    ::setsockopt(fd_, IPPROTO_IP, IP_DROP_MEMBERSHIP, &request, sizeof request);
}

void MulticastMembership::option(int level, int name, const void *value, unsigned size,
                                 const char *what) {
    if (::setsockopt(fd_, level, name, value, size) == 0)
        return;
    throw KrovanError(QString("Could not %1 %2: %3")
                          .arg(what, group_.address.toString(), std::strerror(errno))
                          .toStdString());
}
