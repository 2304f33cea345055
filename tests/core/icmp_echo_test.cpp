// The echo request as it goes out and the decoding of whatever comes back.
#include "errors.h"
#include "icmp_echo.h"

#include <gtest/gtest.h>

namespace {

using icmp::decodereply;

std::uint16_t at16(const std::string &bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

// An IPv4 header of the given length in 32-bit words, from 10.1.2.3.
std::string ipheader(int words = 5, int ttl = 61) {
    std::string header(static_cast<std::size_t>(words) * 4, '\0');
    header[0] = static_cast<char>(0x40 | words);
    header[8] = static_cast<char>(ttl);
    header[9] = 1;
    header[12] = 10;
    header[13] = 1;
    header[14] = 2;
    header[15] = 3;
    return header;
}

std::string withtype(std::string block, int type) {
    block[0] = static_cast<char>(type);
    return block;
}

// An error message of that type quoting the request block.
std::string quoting(int type, const std::string &request, int words = 5) {
    std::string message(8, '\0');
    message[0] = static_cast<char>(type);
    return ipheader(words) + message + ipheader(words) + request.substr(0, 8);
}

void expecterror(const std::string &packet, const char *message) {
    try {
        decodereply(packet, 3489, std::nullopt);
        ADD_FAILURE() << "no error for a packet of " << packet.size() << " bytes";
    } catch (const KrovanError &error) {
        EXPECT_STREQ(error.what(), message) << packet.size() << " bytes";
    }
}

TEST(IcmpEcho, TheRequestHasItsFieldsLowByteFirstAndAValidChecksum) {
    const std::string block = icmp::echoblock(0x1234, 3489, 0xa1b2c3d4, "ABC");
    ASSERT_EQ(block.size(), 52u);
    EXPECT_EQ(block[0], 8);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block.substr(4, 8), std::string("\x34\x12\xa1\x0d\xd4\xc3\xb2\xa1", 8));
    EXPECT_EQ(block.substr(12, 8), std::string(8, '\0'));
    EXPECT_EQ(block.substr(20), "ABC" + std::string(29, 'E'));
    EXPECT_EQ(icmp::checksum(block), 0) << "a block with its checksum sums to zero";
    std::string zeroed = block;
    zeroed[2] = zeroed[3] = 0;
    EXPECT_EQ(at16(block, 2), icmp::checksum(zeroed));

    const std::string forty(40, 'x');
    EXPECT_EQ(icmp::echoblock(1, 2, 3, forty + "yyyy").substr(20), std::string(32, 'x'));
    EXPECT_EQ(icmp::echoblock(1, 2, 3, "").substr(20), std::string(32, 'E'));
    // RFC 1071's own example: 00 01 f2 03 f4 f5 f6 f7 sums to ddf2.
    EXPECT_EQ(icmp::checksum(std::string("\x00\x01\xf2\x03\xf4\xf5\xf6\xf7", 8)),
              static_cast<std::uint16_t>(~0xf2dd & 0xffff));
    EXPECT_EQ(icmp::checksum(std::string("\x01", 1)), 0xfffe) << "an odd byte is padded";
}

TEST(IcmpEcho, AnEchoOrTheOwnRequestWithTheSequenceNumberIsTheAnswer) {
    const std::string request = icmp::echoblock(7, 3489, 0, "ABC");
    for (int type : {0, 8}) {
        const auto reply = decodereply(ipheader() + withtype(request, type), 3489, 7);
        ASSERT_TRUE(reply) << type;
        EXPECT_EQ(reply->kind, icmp::Kind::Echo);
        EXPECT_EQ(reply->bytes, 72u);
        EXPECT_EQ(reply->sender, "10.1.2.3");
        EXPECT_EQ(reply->type, type);
        EXPECT_EQ(reply->ttl, 61);
        EXPECT_EQ(reply->sequence, 3489);
        EXPECT_EQ(icmp::replydata(*reply), "ABC" + std::string(29, 'E'));
    }
    // Longer IP headers move the message; the data never run past the packet.
    const auto options = decodereply(ipheader(6) + request, 3489, std::nullopt);
    ASSERT_TRUE(options);
    EXPECT_EQ(icmp::replydata(*options), "ABC" + std::string(29, 'E'));
    const auto bare = decodereply(ipheader() + request.substr(0, 8), 3489, std::nullopt);
    ASSERT_TRUE(bare);
    EXPECT_EQ(icmp::replydata(*bare), "");
}

TEST(IcmpEcho, OtherTrafficIsSkipped) {
    const std::string late = icmp::echoblock(7, 3488, 0, "ABC");
    EXPECT_FALSE(decodereply(ipheader() + withtype(late, 0), 3489, 7));
    const std::string stranger = icmp::echoblock(8, 3489, 0, "ABC");
    EXPECT_FALSE(decodereply(ipheader() + withtype(stranger, 0), 3489, 7));
    EXPECT_TRUE(decodereply(ipheader() + withtype(stranger, 0), 3489, std::nullopt));
    EXPECT_FALSE(decodereply(quoting(3, late), 3489, 7));
}

TEST(IcmpEcho, ErrorsAboutTheRequestEndTheWait) {
    const std::string request = icmp::echoblock(7, 3489, 0, "ABC");
    const auto unreachable = decodereply(quoting(3, request), 3489, 7);
    ASSERT_TRUE(unreachable);
    EXPECT_EQ(unreachable->kind, icmp::Kind::Unreachable);
    EXPECT_EQ(icmp::replydata(*unreachable), "");
    const auto exceeded = decodereply(quoting(11, request, 6), 3489, 7);
    ASSERT_TRUE(exceeded);
    EXPECT_EQ(exceeded->kind, icmp::Kind::TtlExceeded);
}

TEST(IcmpEcho, ShortLyingAndForeignPacketsAreRefusedWithoutOverReading) {
    const std::string request = icmp::echoblock(7, 3489, 0, "ABC");
    // Every cut of a well-formed packet (copied, so the sanitizer sees the end).
    for (const std::string &whole : {ipheader() + request, quoting(3, request)}) {
        const std::size_t complete = whole[20] == 3 ? whole.size() : 28;
        for (std::size_t n = 0; n < complete; ++n)
            expecterror(std::string(whole.substr(0, n)), "Not enough bytes received");
    }
    // A header length beyond the packet, or too small to hold the addresses.
    std::string lying = ipheader() + request.substr(0, 10);
    lying[0] = 0x4f;
    expecterror(lying, "Not enough bytes received");
    std::string tiny = ipheader() + request;
    tiny[0] = 0x41;
    expecterror(tiny, "Not enough bytes received");
    // An error whose quoted header would run past the end.
    std::string message(8, '\0');
    message[0] = 11;
    expecterror(ipheader(6) + message + ipheader(5) + request.substr(0, 8),
                "Not enough bytes received");
    for (int type : {5, 13, 255})
        expecterror(ipheader() + withtype(request, type), "Non-echo type response received");
}

} // namespace
