#include "checksum.h"
#include "data_template.h"
#include "errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace std::string_literals;

namespace {

std::string sent(const std::string &text, bool hex = false, std::uint64_t count = 1,
                 const Arrival *arrival = nullptr) {
    return DataTemplate(text, hex).bytes(count, arrival);
}

std::string hexof(const std::string &bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char byte : bytes)
        out += {digits[byte >> 4], digits[byte & 0xF]};
    return out;
}

std::string failure(const std::string &text, bool hex = false) {
    try {
        DataTemplate(text, hex);
    } catch (const KrovanError &error) {
        return error.what();
    }
    return "<no failure>";
}

} // namespace

TEST(Checksums, EachGivesTheCatalogueCheckValueOf123456789) {
    const struct {
        const char *name;
        std::uint32_t check;
        int size;
    } cases[] = {
        {"sum8", 0xDD, 1},
        {"sum16", 0x01DD, 2},
        {"xor8", 0x31, 1},
        {"lrc", 0x23, 1},
        {"crc8", 0xF4, 1},
        {"crc16-modbus", 0x4B37, 2},
        {"crc16-ccitt", 0x29B1, 2},
        {"crc16-xmodem", 0x31C3, 2},
        {"crc16-kermit", 0x2189, 2},
        {"crc16-arc", 0xBB3D, 2},
        {"crc32", 0xCBF43926, 4},
        {"crc32c", 0xE3069283, 4},
        {"crc:16,8005,FFFF,0000,1,1", 0x4B37, 2},
        // Widths that are no whole byte: CRC-5/USB, CRC-12/DECT, CRC-24/OPENPGP.
        {"crc:5,05,1F,1F,1,1", 0x19, 1},
        {"crc:12,80F,000,000,0,0", 0xF5B, 2},
        {"crc:24,864CFB,B704CE,000000,0,0", 0x21CF02, 3},
    };
    for (const auto &c : cases) {
        const auto sum = Checksum::named(c.name);
        ASSERT_TRUE(sum) << c.name;
        EXPECT_EQ(sum->of("123456789"), c.check) << c.name;
        EXPECT_EQ(sum->size(), c.size) << c.name;
    }
    for (const char *bad : {"crc99", "crc:", "crc:33,1,0,0,0,0", "crc:8,1FF,0,0,0,0",
                            "crc:8,07,00,00,2,0", "crc:8,07,00,00,0", "crc:0,0,0,0,0,0", "Sum8"})
        EXPECT_FALSE(Checksum::named(bad)) << bad;
}

TEST(DataTemplate, AChecksumGoesOutInItsUsualOrderOrTheOneAsked) {
    // A Modbus RTU request: the reflected CRC goes low byte first.
    EXPECT_EQ(hexof(sent("$01$03$00$00$00$0A<=crc16-modbus>")), "01030000000AC5CD");
    EXPECT_EQ(hexof(sent("123456789<=crc16-xmodem>")).substr(18), "31C3");
    EXPECT_EQ(hexof(sent("123456789<=crc16-modbus:be>")).substr(18), "4B37");
    EXPECT_EQ(hexof(sent("123456789<=crc16-xmodem:le>")).substr(18), "C331");
    EXPECT_EQ(sent("123456789<=crc32:hex>"), "123456789CBF43926");
    EXPECT_EQ(hexof(sent("123456789<=crc:16,8005,FFFF,0000,1,1:be>")).substr(18), "4B37");
    // A HEX row: spaces around the escape are ignored as between pairs.
    EXPECT_EQ(hexof(sent("01 03 00 00 00 0A <=crc16-modbus> ", true)), "01030000000AC5CD");
    EXPECT_EQ(hexof(sent("0103<=sum8>FF", true)), "010304FF");
}

TEST(DataTemplate, MarkersBoundTheRangeOfAChecksum) {
    // An NMEA sentence: the XOR of what stands between "$" and "*".
    EXPECT_EQ(sent("$$<=[>GPGLL,4916.45,N<=]>*<=xor8:hex><cr><lf>"),
              "$GPGLL,4916.45,N*" +
                  hexof(std::string(1, char(0x47 ^ 0x50 ^ 0x47 ^ 0x4C ^ 0x4C ^ 0x2C ^ 0x34 ^ 0x39 ^
                                            0x31 ^ 0x36 ^ 0x2E ^ 0x34 ^ 0x35 ^ 0x2C ^ 0x4E))) +
                  "\r\n");
    // A later checksum covers what came before it, an earlier checksum too.
    EXPECT_EQ(hexof(sent("$01<=sum8>$02<=sum8>")), "01010204");
    // A <=[> after a <=]> starts a new range that runs to the escape.
    EXPECT_EQ(hexof(sent("$01<=]>$02<=[>$03$04<=sum8>")), "01020304"
                                                          "07");
}

TEST(DataTemplate, ManyChecksumsCostOnePassOverTheText) {
    // Each checksum covers everything before it, the checksums before it
    // included, sums of another kind going along beside; 30 000 CRCs in
    // one text once took seconds.
    std::string text;
    for (int i = 1; i <= 30000; ++i)
        text += i % 1000 == 0 ? "ab<=sum16:be>" : "ab<=crc32:be>";
    const auto began = std::chrono::steady_clock::now();
    const std::string bytes = sent(text);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1));

    const Checksum crc32 = *Checksum::named("crc32"), sum16 = *Checksum::named("sum16");
    std::size_t at = 0;
    for (int i = 1; i <= 30000; ++i) {
        at += 2;
        const bool sum = i % 1000 == 0;
        const std::size_t size = sum ? 2 : 4;
        if (i % 997 == 0 || sum || i == 30000) {
            const std::uint32_t value =
                (sum ? sum16 : crc32).of(std::string_view(bytes).substr(0, at));
            std::string expected;
            for (std::size_t k = size; k-- > 0;)
                expected += static_cast<char>(value >> (8 * k));
            ASSERT_EQ(hexof(bytes.substr(at, size)), hexof(expected)) << i;
        }
        at += size;
    }
    EXPECT_EQ(at, bytes.size());
}

TEST(DataTemplate, TheCounterInTextAndBinaryForms) {
    const DataTemplate counter("n=<=count>,<=count:1>,<=count:2>,<=count:2le>,<=count:4>,"
                               "<=count:4le>",
                               false);
    EXPECT_EQ(counter.bytes(7, nullptr), "n=7,\x07,\0\x07,\x07\0,\0\0\0\x07,\x07\0\0\0"s);
    EXPECT_EQ(counter.bytes(0x1234, nullptr).substr(0, 11), "n=4660,\x34,\x12\x34"s);
    EXPECT_FALSE(counter.fixed());
    EXPECT_TRUE(DataTemplate("<ack><<=count>", false).fixed());
}

TEST(DataTemplate, WhatArrivedAndTheExpressionsGroups) {
    Arrival arrival("ABCDEF");
    arrival.groups[1] = {1, 3};
    const auto rx = [&](const std::string &text) { return sent(text, false, 1, &arrival); };
    EXPECT_EQ(rx("<=rx>"), "ABCDEF");
    EXPECT_EQ(rx("<=rx:2>"), "CDEF");
    EXPECT_EQ(rx("<=rx:1,2>"), "BC");
    EXPECT_EQ(rx("<=rx:-2>"), "EF");
    EXPECT_EQ(rx("<=rx:-8,3>"), "A");
    EXPECT_EQ(rx("<=rx:4,10>|<=rx:9>|<=rx:0,0>"), "EF||");
    EXPECT_EQ(rx("<=1>|<=2>"), "BC|");
    // A send no block triggered.
    EXPECT_EQ(sent("x<=rx><=1>y"), "xy");
}

TEST(DataTemplate, AnEscapeThatCannotBeComputedFailsWithItsText) {
    for (const char *text : {"<=crc99>", "<=rx:a>", "<=rx:1,-2>", "<=count:3>", "<=sum8:xx>",
                             "<=crc:16,8005,FFFF>", "<=>", "<=10>"})
        EXPECT_EQ(failure("ab"s + text), "Neznámý výpočet '"s + text + "'") << text;
    EXPECT_EQ(failure("01 <=crc99>", true), "Neznámý výpočet '<=crc99>'");
    // A half pair before an escape is a malformed number piece, as before.
    EXPECT_EQ(failure("0<=sum8>", true), "'$0<' is not a valid integer value");
    // Neither a doubled "<" nor an escape without its ">" is computed.
    EXPECT_EQ(sent("<<=crc99>"), "<=crc99>");
    EXPECT_EQ(sent("a<=crc99"), "a<=crc99");
}
