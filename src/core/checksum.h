#pragma once

// The checksums a data text can compute over its own bytes: simple sums,
// the named CRCs of the catalogue, and any CRC of the usual parametric
// model (width, polynomial, initial value, final XOR, reflections).

#include <cstdint>
#include <optional>
#include <string_view>

struct CrcModel {
    int width = 16; // 1 to 32
    std::uint32_t poly = 0;
    std::uint32_t init = 0;
    std::uint32_t xorout = 0;
    bool refin = false;
    bool refout = false;
    bool operator==(const CrcModel &) const = default;
};

class Checksum {
public:
    enum class Kind { Sum8, Sum16, Xor8, Lrc, Crc };

    // "sum8", "crc16-modbus", ..., or "crc:W,POLY,INIT,XOROUT,REFIN,REFOUT"
    // with the three values in hexadecimal; nullopt for any other name.
    static std::optional<Checksum> named(std::string_view name);
    static Checksum crc(const CrcModel &model);

    std::uint32_t of(std::string_view bytes) const;
    // The same worked out piece by piece, so that checksums of a growing
    // text cost one pass over it: a state begun, fed each piece in turn,
    // and the value of what it was fed.
    std::uint64_t begin() const { return kind_ == Kind::Crc ? model_.init : 0; }
    void feed(std::uint64_t &state, std::string_view bytes) const;
    std::uint32_t value(std::uint64_t state) const;
    bool operator==(const Checksum &) const = default;
    // How many bytes the value takes.
    int size() const;
    // Whether its usual order on the wire is least significant byte first
    // (the reflected CRCs).
    bool lowfirst() const { return kind_ == Kind::Crc && model_.refout; }

private:
    Checksum(Kind kind, CrcModel model = {}) : kind_(kind), model_(model) {}
    void feedcrc(std::uint64_t &crc, std::string_view bytes) const;

    Kind kind_;
    CrcModel model_;
};
