#pragma once

// The Telnet framing of a byte stream (RFC 854, 855): the data with every
// 0xFF doubled, and commands inside it. The reader takes the stream in
// pieces split anywhere (a command, a doubled 0xFF or a subnegotiation may
// end in the next piece) and gives the data back unchanged, the commands
// apart.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace telnet {

inline constexpr unsigned char iac = 255, dont = 254, do_ = 253, wont = 252, will = 251, sb = 250,
                               se = 240;

// The data as it goes out: every 0xFF doubled.
std::string escape(std::string_view data);
// An option's negotiation (IAC verb option).
std::string command(unsigned char verb, unsigned char option);
// A subnegotiation (IAC SB option payload IAC SE), its 0xFF bytes doubled.
std::string subnegotiation(unsigned char option, std::string_view payload);

class Reader {
public:
    // A negotiation: verb is will, wont, do_ or dont.
    std::function<void(unsigned char verb, unsigned char option)> onnegotiation;
    // A whole subnegotiation, its payload undoubled.
    std::function<void(unsigned char option, const std::string &payload)> onsubnegotiation;

    // Reads the next piece of the stream; its data are appended to `data`.
    // Other commands (NOP, GA, BRK, ...) are taken out and dropped.
    void feed(std::string_view piece, std::string &data);
    // A new connection: nothing of the last one is pending.
    void restart() {
        state_ = State::Data;
        sbpayload_.clear();
    }

    // A subnegotiation keeps at most this much of its payload: a peer that
    // never ends one cannot make it grow without end.
    static constexpr std::size_t maxpayload = 4096;

private:
    enum class State { Data, Iac, Option, SbOption, SbData, SbIac };
    // One byte outside the plain data; false when it must be read again.
    bool step(unsigned char byte, std::string &data);
    // The byte after an IAC inside a subnegotiation.
    bool sbend(unsigned char byte);
    State state_ = State::Data;
    unsigned char verb_ = 0;
    unsigned char sboption_ = 0;
    std::string sbpayload_;
};

} // namespace telnet
