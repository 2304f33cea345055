// The Telnet reader over every way a read can split a stream of data with
// doubled 0xFF bytes, negotiations, subnegotiations and bare commands.
#include "telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct Heard {
    std::string data;
    std::vector<std::string> commands;
};

Heard read(const std::vector<std::string_view> &pieces) {
    Heard heard;
    telnet::Reader reader;
    reader.onnegotiation = [&](unsigned char verb, unsigned char option) {
        heard.commands.push_back("neg " + std::to_string(verb) + " " + std::to_string(option));
    };
    reader.onsubnegotiation = [&](unsigned char option, const std::string &payload) {
        heard.commands.push_back("sb " + std::to_string(option) + " " + payload);
    };
    for (std::string_view piece : pieces)
        reader.feed(piece, heard.data);
    return heard;
}

TEST(TelnetReader, EverySplitOfAStreamGivesTheSameDataAndCommands) {
    // Data with 0xFF doubled, DO BINARY, a subnegotiation whose payload holds
    // a doubled 0xFF, a NOP, WILL COM-PORT, and data again.
    const std::string stream = "a\xff\xff"
                               "b\xff\xfd\x00"
                               "c\xff\xfa\x2c\x65\xff\xff\x01\xff\xf0"
                               "\xff\xf1"
                               "d\xff\xfb\x2c\xff\xff"s;
    const Heard whole = read({stream});
    EXPECT_EQ(whole.data, "a\xff"
                          "bcd\xff");
    EXPECT_EQ(whole.commands,
              (std::vector<std::string>{"neg 253 0", "sb 44 e\xff\x01", "neg 251 44"}));
    for (std::size_t i = 0; i <= stream.size(); ++i)
        for (std::size_t j = i; j <= stream.size(); ++j) {
            const std::string_view all(stream);
            const Heard split = read({all.substr(0, i), all.substr(i, j - i), all.substr(j)});
            ASSERT_EQ(split.data, whole.data) << "split at " << i << ", " << j;
            ASSERT_EQ(split.commands, whole.commands) << "split at " << i << ", " << j;
        }
}

TEST(TelnetReader, EscapedDataReadsBackUnchangedForEveryByteValue) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    all += "\xff\xff\xff"s;
    const std::string escaped = telnet::escape(all);
    EXPECT_EQ(escaped.size(), all.size() + 4);
    EXPECT_EQ(read({escaped}).data, all);
    EXPECT_EQ(telnet::subnegotiation(44, "\x01\xff"s), "\xff\xfa\x2c\x01\xff\xff\xff\xf0"s);
}

TEST(TelnetReader, AnEndlessSubnegotiationKeepsItsPayloadBounded) {
    telnet::Reader reader;
    std::size_t longest = 0;
    reader.onsubnegotiation = [&](unsigned char, const std::string &payload) {
        longest = payload.size();
    };
    std::string data;
    reader.feed("\xff\xfa\x2c"s, data);
    const std::string chunk(100000, 'x');
    for (int i = 0; i < 10; ++i)
        reader.feed(chunk, data);
    reader.feed("\xff\xf0tail"s, data);
    EXPECT_EQ(longest, telnet::Reader::maxpayload);
    EXPECT_EQ(data, "tail");
}

} // namespace
