#pragma once

// The ICMPv6 side of the echo link: its socket and what comes back on it,
// made to look as the IPv4 echo's packets do (an IPv4-shaped header of 20
// bytes holding the hop limit where IPv4 has the time-to-live, then the
// message with its type as IPv4 numbers it), so that one decoding serves
// both. The sender's address is handed back beside.

#include "icmp_echo.h"

#include <optional>
#include <string>

namespace icmp6 {

// Echo request and reply, destination unreachable, time exceeded.
inline constexpr unsigned char echorequest = 128, echoreply = 129, unreachable = 1,
                               timeexceeded = 3;

// Sets an open ICMPv6 socket up: the hop limit of its requests, the hop
// limit of replies and queued errors reported, a raw socket's filter.
void setup(int fd, bool raw, int hops);
// One packet received, in the IPv4 echo's shape; nothing when the read gave
// nothing usable. `sender` gets its address.
std::optional<std::string> receive(int fd, std::string &sender);
// An ICMPv6 error the datagram socket queued about its request.
std::optional<icmp::Reply> queuederror(int fd, std::uint16_t sequence);

} // namespace icmp6
