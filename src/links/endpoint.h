#pragma once

// One socket address of any family, as the system's calls take and give
// it: the sender of a datagram, the destination of a send, the address a
// socket binds. Compared byte for byte, so that a sender that sends again
// is known without making its text anew.

#include <QHostAddress>
#include <QString>

#include <sys/socket.h>

class Endpoint {
public:
    Endpoint() = default;
    Endpoint(const QHostAddress &address, quint16 port);
    // Whatever the system wrote to a sockaddr_storage (a receive's sender).
    static Endpoint fromsystem(const sockaddr_storage &storage, socklen_t length);

    // The same address as a socket of that family takes it: an IPv4
    // address is mapped (::ffff:a.b.c.d) for a socket of both families.
    Endpoint forfamily(int family) const;

    const sockaddr *sockaddress() const { return reinterpret_cast<const sockaddr *>(&storage_); }
    sockaddr *sockaddress() { return reinterpret_cast<sockaddr *>(&storage_); }
    socklen_t length() const { return length_; }
    // AF_INET, AF_INET6, or AF_UNSPEC for an empty endpoint.
    int family() const { return storage_.ss_family; }
    QHostAddress address() const;
    quint16 port() const;
    // "address:port" or "[address]:port", as the records name a sender.
    QString text() const;

    bool operator==(const Endpoint &other) const;

private:
    sockaddr_storage storage_{};
    socklen_t length_ = 0;
};
