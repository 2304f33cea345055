#include "endpoint.h"

#include "host_lookup.h"

#include <QNetworkInterface>

#include <netinet/in.h>

#include <algorithm>
#include <cstring>

Endpoint::Endpoint(const QHostAddress &address, quint16 port) {
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto &six = reinterpret_cast<sockaddr_in6 &>(storage_);
        six.sin6_family = AF_INET6;
        six.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&six.sin6_addr, bytes.c, sizeof six.sin6_addr);
        const QString zone = address.scopeId();
        bool numeric = false;
        six.sin6_scope_id = zone.toUInt(&numeric);
        if (!numeric && !zone.isEmpty())
            six.sin6_scope_id =
                static_cast<uint32_t>(QNetworkInterface::interfaceIndexFromName(zone));
        length_ = sizeof six;
        return;
    }
    auto &four = reinterpret_cast<sockaddr_in &>(storage_);
    four.sin_family = AF_INET;
    four.sin_port = htons(port);
    four.sin_addr.s_addr = htonl(address.toIPv4Address());
    length_ = sizeof four;
}

Endpoint Endpoint::forfamily(int family) const {
    if (family != AF_INET6 || this->family() != AF_INET)
        return *this;
    Endpoint mapped;
    auto &six = reinterpret_cast<sockaddr_in6 &>(mapped.storage_);
    const auto &four = reinterpret_cast<const sockaddr_in &>(storage_);
    six.sin6_family = AF_INET6;
    six.sin6_port = four.sin_port;
    six.sin6_addr.s6_addr[10] = 0xff;
    six.sin6_addr.s6_addr[11] = 0xff;
    std::memcpy(&six.sin6_addr.s6_addr[12], &four.sin_addr, 4);
    mapped.length_ = sizeof six;
    return mapped;
}

Endpoint Endpoint::fromsystem(const sockaddr_storage &storage, socklen_t length) {
    Endpoint endpoint;
    endpoint.length_ = std::min<socklen_t>(length, sizeof storage);
    std::memcpy(&endpoint.storage_, &storage, endpoint.length_);
    return endpoint;
}

QHostAddress Endpoint::address() const {
    if (family() != AF_INET6)
        return length_ == 0 ? QHostAddress() : QHostAddress(sockaddress());
    const auto &six = reinterpret_cast<const sockaddr_in6 &>(storage_);
    QHostAddress address(six.sin6_addr.s6_addr);
    // A link-local address is written with its interface's name.
    if (six.sin6_scope_id != 0) {
        const QString name =
            QNetworkInterface::interfaceNameFromIndex(static_cast<int>(six.sin6_scope_id));
        address.setScopeId(name.isEmpty() ? QString::number(six.sin6_scope_id) : name);
    }
    return address;
}

quint16 Endpoint::port() const {
    if (family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(storage_).sin6_port);
    if (family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(storage_).sin_port);
    return 0;
}

QString Endpoint::text() const {
    return addresstext(address(), port());
}

bool Endpoint::operator==(const Endpoint &other) const {
    return length_ == other.length_ && std::memcmp(&storage_, &other.storage_, length_) == 0;
}
