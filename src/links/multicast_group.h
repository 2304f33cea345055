#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// A multicast group a UDP destination names: 224.0.0.0/4 or ff00::/8,
// with the interface after a '%' ("239.1.2.3%eth0", "ff02::1%eth0"); no
// interface: the system's default.
struct MulticastGroup {
    QHostAddress address;
    // The interface's index, 0 for the default.
    unsigned interface = 0;
    QString interfacename;
};

// The group a destination text names; nothing for any other destination.
// Throws KrovanError when the interface after '%' is not there.
std::optional<MulticastGroup> multicastgroup(const QString &destination);

// A literal address with the interface it names dropped where the address
// cannot carry it (IPv4); nothing when the text is no literal address.
std::optional<QHostAddress> literaladdress(const QString &text);

// The membership of one socket in one group, with the hop limit and the
// loopback its sends to the group get.
class MulticastMembership {
public:
    // Joins on the socket (of family AF_INET, or AF_INET6 taking both);
    // throws KrovanError with the system's reason when it cannot.
    MulticastMembership(int fd, int family, const MulticastGroup &group, int hops);
    // Leaves the group.
    ~MulticastMembership();
    MulticastMembership(const MulticastMembership &) = delete;
    MulticastMembership &operator=(const MulticastMembership &) = delete;

private:
    void option(int level, int name, const void *value, unsigned size, const char *what);

    int fd_;
    bool six_;
    MulticastGroup group_;
};
