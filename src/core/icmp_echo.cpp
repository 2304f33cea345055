#include "icmp_echo.h"

#include "errors.h"

namespace icmp {

namespace {

std::uint8_t byteat(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

// A 16-bit field stored low byte first.
std::uint16_t field16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(byteat(bytes, at) | (byteat(bytes, at + 1) << 8));
}

void put16(std::string &bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

std::string dotted(std::string_view bytes, std::size_t at) {
    return std::to_string(byteat(bytes, at)) + "." + std::to_string(byteat(bytes, at + 1)) + "." +
           std::to_string(byteat(bytes, at + 2)) + "." + std::to_string(byteat(bytes, at + 3));
}

[[noreturn]] void tooshort() {
    throw KrovanError("Not enough bytes received");
}

constexpr std::size_t icmpHeader = 8;
constexpr std::size_t minimalIpHeader = 20;

} // namespace

std::uint16_t checksum(std::string_view bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += field16(bytes, i);
    if (i < bytes.size())
        sum += byteat(bytes, i);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

std::string echoblock(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t ticks,
                      std::string_view data) {
    std::string block(blockSize, '\0');
    block[0] = 8;
    put16(block, 4, identifier);
    put16(block, 6, sequence);
    put16(block, 8, static_cast<std::uint16_t>(ticks & 0xffff));
    put16(block, 10, static_cast<std::uint16_t>(ticks >> 16));
    const std::string_view carried = data.substr(0, dataSize);
    block.replace(dataOffset, carried.size(), carried);
    for (std::size_t i = dataOffset + carried.size(); i < blockSize; ++i)
        block[i] = 'E';
    put16(block, 2, checksum(block));
    return block;
}

std::optional<Reply> decodereply(std::string_view packet, std::uint16_t sequence,
                                 std::optional<std::uint16_t> identifier) {
    if (packet.empty())
        tooshort();
    const std::size_t ipheader = 4u * (byteat(packet, 0) & 0x0f);
    // A header length below the 20 bytes that hold the addresses cannot be
    // a real packet; it is read as too short rather than trusted.
    if (ipheader < minimalIpHeader || packet.size() < ipheader + icmpHeader)
        tooshort();

    Reply reply;
    reply.type = byteat(packet, ipheader);
    std::size_t echoheader = ipheader; // the echo header whose numbers are compared
    switch (reply.type) {
    case 0:
    case 8:
        reply.kind = Kind::Echo;
        break;
    case 3:
    case 11:
        reply.kind = reply.type == 3 ? Kind::Unreachable : Kind::TtlExceeded;
        // The quoted request follows the ICMP header and the quoted IP
        // header, taken to be as long as the outer one.
        echoheader = ipheader + icmpHeader + ipheader;
        if (packet.size() < echoheader + icmpHeader)
            tooshort();
        break;
    default:
        throw KrovanError("Non-echo type response received");
    }
    if (field16(packet, echoheader + 6) != sequence)
        return std::nullopt;
    if (identifier && field16(packet, echoheader + 4) != *identifier)
        return std::nullopt;

    reply.bytes = packet.size();
    reply.sender = dotted(packet, 12);
    reply.sequence = sequence;
    reply.ttl = byteat(packet, 8);
    if (reply.kind == Kind::Echo && packet.size() > ipheader + dataOffset)
        reply.data = std::string(packet.substr(ipheader + dataOffset));
    return reply;
}

std::string replydata(const Reply &reply) {
    constexpr std::size_t headers = 40;
    if (reply.bytes <= headers)
        return std::string();
    return reply.data.substr(0, reply.bytes - headers);
}

} // namespace icmp
