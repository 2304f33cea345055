#pragma once

#include "errors.h"
#include "icmp_echo.h"
#include "link.h"

#include <cstdint>
#include <functional>
#include <string>

// The ICMP echo link: one echo request per send on a socket made for that
// echo and closed after it, a wait of at most 5000 ms for its answer, and
// the reply notification called inside the echo. Uses a raw IPv4 ICMP
// socket; where raw sockets are refused, the unprivileged ICMP datagram
// socket, whose replies are made to look the same (an IP header of 20
// bytes in front of the ICMP message).
//
// As a link it is switched on and off: while on, a send is an echo to the
// host, and its reply is reported inside the send (an echo's data as a
// received block, anything else as a failure).
class IcmpLink : public Link {
    Q_OBJECT
public:
    static constexpr int replyTimeout = 5000; // ms per echo
    static constexpr int timeToLive = 128;

    enum class Socket { None, Raw, Datagram };

    // Target host, set by the send path before every echo.
    std::string host;
    // Sequence number of the next echo; advanced once per echo that reached
    // its reply notification, before the notification runs, so that an echo
    // sent from inside the notification carries a number of its own.
    std::uint16_t sequence = 3489;
    // Called inside the echo with how it ended (an echo, a time-out, an
    // unreachable destination or an exceeded time-to-live), before the
    // link reports it.
    std::function<void(const icmp::Reply &)> onreply;

    using Link::Link;
    void open() override;
    void close() override;
    bool isOpen() const override { return on_; }
    // One echo to `host` (see ping).
    void send(const std::string &bytes) override { ping(bytes); }

    // Sends one echo request carrying the first 32 bytes of data and waits
    // for its answer. Throws KrovanError when the host cannot be resolved,
    // no socket is allowed (IcmpPermissionError), the send fails, or the
    // answer is malformed; the sequence number then stays.
    void ping(const std::string &data);

    // The kind of socket the last echo used.
    Socket lastsocket() const { return lastsocket_; }

private:
    void report(const icmp::Reply &reply);

    Socket lastsocket_ = Socket::None;
    bool on_ = false;
};

// Neither a raw nor an ICMP datagram socket is allowed to this user; the
// message says what would allow one.
class IcmpPermissionError : public KrovanError {
public:
    using KrovanError::KrovanError;
};

// The low 16 bits of the process identifier, carried by every request.
std::uint16_t icmpidentifier();
