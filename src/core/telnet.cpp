#include "telnet.h"

namespace telnet {

std::string escape(std::string_view data) {
    std::string out;
    out.reserve(data.size() + data.size() / 64 + 1);
    for (const char c : data) {
        out += c;
        if (static_cast<unsigned char>(c) == iac)
            out += c;
    }
    return out;
}

std::string command(unsigned char verb, unsigned char option) {
    return {static_cast<char>(iac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string subnegotiation(unsigned char option, std::string_view payload) {
    std::string out{static_cast<char>(iac), static_cast<char>(sb), static_cast<char>(option)};
    out += escape(payload);
    out += static_cast<char>(iac);
    out += static_cast<char>(se);
    return out;
}

void Reader::feed(std::string_view piece, std::string &data) {
    std::size_t i = 0;
    while (i < piece.size()) {
        if (state_ != State::Data) {
            if (step(static_cast<unsigned char>(piece[i]), data))
                ++i;
            continue;
        }
        // The plain run up to the next IAC goes in one append.
        const std::size_t next = piece.find(static_cast<char>(iac), i);
        const std::size_t end = next == piece.npos ? piece.size() : next;
        data.append(piece.substr(i, end - i));
        i = end;
        if (next != piece.npos) {
            state_ = State::Iac;
            ++i;
        }
    }
}

bool Reader::step(unsigned char byte, std::string &data) {
    switch (state_) {
    case State::Data:
        data += static_cast<char>(byte);
        break;
    case State::Iac:
        if (byte == iac) {
            data += static_cast<char>(iac);
            state_ = State::Data;
        } else if (byte >= will && byte <= dont) {
            verb_ = byte;
            state_ = State::Option;
        } else {
            // A subnegotiation, or a command without an option.
            state_ = byte == sb ? State::SbOption : State::Data;
        }
        break;
    case State::Option:
        state_ = State::Data;
        if (onnegotiation)
            onnegotiation(verb_, byte);
        break;
    case State::SbOption:
        sboption_ = byte;
        sbpayload_.clear();
        state_ = State::SbData;
        break;
    case State::SbData:
        if (byte == iac)
            state_ = State::SbIac;
        else if (sbpayload_.size() < maxpayload)
            sbpayload_ += static_cast<char>(byte);
        break;
    case State::SbIac:
        return sbend(byte);
    }
    return true;
}

bool Reader::sbend(unsigned char byte) {
    if (byte == iac) {
        if (sbpayload_.size() < maxpayload)
            sbpayload_ += static_cast<char>(iac);
        state_ = State::SbData;
        return true;
    }
    if (byte == se) {
        state_ = State::Data;
        if (onsubnegotiation)
            onsubnegotiation(sboption_, sbpayload_);
        return true;
    }
    // IAC and anything else inside a subnegotiation ends it unfinished; the
    // byte is read again as a command of its own.
    state_ = State::Iac;
    return false;
}

} // namespace telnet
