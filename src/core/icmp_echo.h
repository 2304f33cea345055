#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The ICMP echo request the program sends and the decoding of what comes
// back. Multi-byte fields other than the checksum are stored low byte first.
namespace icmp {

constexpr std::size_t blockSize = 52;       // the whole echo request
constexpr std::size_t dataOffset = 20;      // where the macro's bytes begin
constexpr std::size_t dataSize = 32;        // macro bytes carried by one echo
constexpr std::size_t receiveBuffer = 1024; // largest packet read, IP header included

// How an echo ended, as the reply notification sees it.
enum class Kind { Echo = 0, Timeout = 2, Unreachable = 3, TtlExceeded = 4 };

struct Reply {
    Kind kind = Kind::Timeout;
    std::size_t bytes = 0;          // size of the whole packet, IP header included
    std::string sender = "0.0.0.0"; // IP source address, dotted
    int type = 0;                   // ICMP type
    std::uint16_t sequence = 0;
    int ttl = 0;
    std::string data; // the packet from ICMP offset 20 to its end
};

// RFC 1071 Internet checksum, summed over 16-bit words read low byte
// first; stored low byte first it is the checksum every receiver checks.
std::uint16_t checksum(std::string_view bytes);

// The 52-byte echo request: type 8, code 0, checksum, identifier,
// sequence number, tick count, 8 zero bytes, then the first 32 bytes of
// the data filled up with "E".
std::string echoblock(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t ticks,
                      std::string_view data);

// Decodes one received IPv4 packet. Returns the reply when the packet is
// the answer to the echo with this sequence number (and, when given, this
// identifier), nothing when it is other traffic to skip. Throws KrovanError
// "Not enough bytes received" for a packet shorter than its headers claim
// and "Non-echo type response received" for an ICMP type that is neither
// an echo nor an error about one. Never reads outside the packet.
std::optional<Reply> decodereply(std::string_view packet, std::uint16_t sequence,
                                 std::optional<std::uint16_t> identifier);

// The data an echo reply hands on: "bytes received - 40" bytes (the IP,
// ICMP, tick-count and reserved headers of an ordinary reply) taken from
// the reply data, never more than the packet held.
std::string replydata(const Reply &reply);

} // namespace icmp
