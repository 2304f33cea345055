#include "checksum.h"

#include "digits.h"

#include <array>
#include <utility>
#include <vector>

namespace {

struct NamedCrc {
    std::string_view name;
    CrcModel model;
};

// The catalogue's parameters of each named CRC.
constexpr std::array<NamedCrc, 8> namedcrcs{{
    {"crc8", {8, 0x07, 0x00, 0x00, false, false}},
    {"crc16-modbus", {16, 0x8005, 0xFFFF, 0x0000, true, true}},
    {"crc16-ccitt", {16, 0x1021, 0xFFFF, 0x0000, false, false}},
    {"crc16-xmodem", {16, 0x1021, 0x0000, 0x0000, false, false}},
    {"crc16-kermit", {16, 0x1021, 0x0000, 0x0000, true, true}},
    {"crc16-arc", {16, 0x8005, 0x0000, 0x0000, true, true}},
    {"crc32", {32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true}},
    {"crc32c", {32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, true}},
}};

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

std::optional<bool> flag(std::string_view text) {
    if (text == "0" || text == "1")
        return text == "1";
    return std::nullopt;
}

// "W,POLY,INIT,XOROUT,REFIN,REFOUT"
std::optional<CrcModel> parsemodel(std::string_view text) {
    const std::vector<std::string_view> parts = split(text, ',');
    if (parts.size() != 6)
        return std::nullopt;
    const auto width = readdigits(parts[0], 10, 32);
    if (!width || *width < 1)
        return std::nullopt;
    const std::uint64_t top = (std::uint64_t{1} << *width) - 1;
    const auto poly = readdigits(parts[1], 16, top);
    const auto init = readdigits(parts[2], 16, top);
    const auto xorout = readdigits(parts[3], 16, top);
    const auto refin = flag(parts[4]);
    const auto refout = flag(parts[5]);
    if (!poly || !init || !xorout || !refin || !refout)
        return std::nullopt;
    return CrcModel{static_cast<int>(*width),
                    static_cast<std::uint32_t>(*poly),
                    static_cast<std::uint32_t>(*init),
                    static_cast<std::uint32_t>(*xorout),
                    *refin,
                    *refout};
}

std::uint64_t reflected(std::uint64_t value, int width) {
    std::uint64_t out = 0;
    for (int bit = 0; bit < width; ++bit)
        if (value & (std::uint64_t{1} << bit))
            out |= std::uint64_t{1} << (width - 1 - bit);
    return out;
}

} // namespace

std::optional<Checksum> Checksum::named(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, Kind>, 4> sums{{
        {"sum8", Kind::Sum8},
        {"sum16", Kind::Sum16},
        {"xor8", Kind::Xor8},
        {"lrc", Kind::Lrc},
    }};
    for (const auto &[sumname, kind] : sums)
        if (name == sumname)
            return Checksum(kind);
    for (const NamedCrc &each : namedcrcs)
        if (name == each.name)
            return crc(each.model);
    if (name.starts_with("crc:"))
        if (const std::optional<CrcModel> model = parsemodel(name.substr(4)))
            return crc(*model);
    return std::nullopt;
}

Checksum Checksum::crc(const CrcModel &model) {
    return Checksum(Kind::Crc, model);
}

int Checksum::size() const {
    switch (kind_) {
    case Kind::Sum16:
        return 2;
    case Kind::Crc:
        return (model_.width + 7) / 8;
    default:
        return 1;
    }
}

std::uint32_t Checksum::of(std::string_view bytes) const {
    std::uint64_t state = begin();
    feed(state, bytes);
    return value(state);
}

void Checksum::feed(std::uint64_t &state, std::string_view bytes) const {
    if (kind_ == Kind::Crc)
        return feedcrc(state, bytes);
    // The exclusive or for xor8, the plain sum for the others.
    if (kind_ == Kind::Xor8) {
        for (const char byte : bytes)
            state ^= static_cast<unsigned char>(byte);
        return;
    }
    for (const char byte : bytes)
        state += static_cast<unsigned char>(byte);
}

std::uint32_t Checksum::value(std::uint64_t state) const {
    switch (kind_) {
    case Kind::Sum8:
    case Kind::Xor8:
        return state & 0xFF;
    case Kind::Sum16:
        return state & 0xFFFF;
    case Kind::Lrc:
        return (0u - static_cast<std::uint32_t>(state)) & 0xFF;
    case Kind::Crc:
        break;
    }
    const int width = model_.width;
    const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
    const std::uint64_t crc = model_.refout ? reflected(state, width) : state;
    return static_cast<std::uint32_t>((crc ^ model_.xorout) & mask);
}

void Checksum::feedcrc(std::uint64_t &crc, std::string_view bytes) const {
    // Bit by bit, most significant first, with the initial value applied
    // directly: any width from 1 to 32 the same way.
    const int width = model_.width;
    const std::uint64_t top = std::uint64_t{1} << (width - 1);
    const std::uint64_t mask = (top << 1) - 1;
    for (const char byte : bytes) {
        std::uint64_t value = static_cast<unsigned char>(byte);
        if (model_.refin)
            value = reflected(value, 8);
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((crc & top) != 0) != (((value >> bit) & 1) != 0);
            crc = (crc << 1) & mask;
            if (feedback)
                crc ^= model_.poly;
        }
    }
}
