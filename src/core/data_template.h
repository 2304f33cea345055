#pragma once

// A macro's data text made ready to send: its fixed bytes converted once,
// its computed escapes ("<=" name ">") kept to be worked out at each send.
//
//   <=ALG> <=ALG:be|le|hex>   a checksum of the bytes before it, from the
//                             start or the last <=[>, up to it or a <=]>
//   <=[> <=]>                 where checksums start and end; give nothing
//   <=count> <=count:1|2|4|2le|4le>   how many times the row was sent
//   <=rx> <=rx:FROM> <=rx:FROM,COUNT> what arrived, or part of it
//   <=1> ... <=9>             a group of the answering filter's expression

#include "checksum.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What arrived, for an automatic answer: the received block and where the
// answering filter's expression groups 1 to 9 matched in it.
struct Arrival {
    static constexpr std::size_t unset = std::string_view::npos;
    explicit Arrival(std::string_view received) : block(received) { groups.fill({unset, unset}); }
    std::string_view block;
    // Start and end of each group (index 0: the whole match); unset where
    // the group took no part or no expression matched.
    std::array<std::pair<std::size_t, std::size_t>, 10> groups;
};

class DataTemplate {
public:
    DataTemplate() = default;
    // Converts a data text as the escape codec does, as HEX text when `hex`.
    // Throws KrovanError for a malformed number piece, and "Neznámý výpočet
    // '<=...>'" for a computed escape that cannot be computed.
    DataTemplate(std::string_view text, bool hex);

    // Whether no part is computed: every send is the same bytes.
    bool fixed() const { return pieces_.empty(); }
    const std::string &fixedbytes() const { return fixed_; }

    // The bytes of one send: `count` is how many times the row has been
    // sent, this send included (none: the counter gives nothing); `arrival`
    // is null when no block triggered the send (what arrived then gives
    // nothing). Its time grows with the length, however many checksums.
    std::string bytes(std::optional<std::uint64_t> count, const Arrival *arrival) const;

    // The checksum `name` (as "<=" name ">" takes it: "crc16-modbus",
    // "crc32:be", ...) of the bytes, in its order; throws "Neznámý výpočet
    // '<=name>'" for a name that is no checksum.
    static std::string checksum(std::string_view name, std::string_view bytes);

private:
    enum class Order { Usual, High, Low, Hex };
    struct Piece {
        enum class Kind { Bytes, Begin, End, Sum, Count, Received, Group };
        Kind kind = Kind::Bytes;
        std::string bytes;
        std::optional<Checksum> sum;
        // Which of the text's distinct checksums it is: their states are
        // carried along the text.
        std::size_t slot = 0;
        Order order = Order::Usual;
        // A counter's bytes (0: decimal digits); a received range.
        int size = 0;
        long long from = 0;
        long long count = -1;
        int group = 0;
    };
    void take(std::string_view escape, std::string &out);
    // A fixed piece of the bytes, unless empty.
    void addbytes(std::string bytes);
    static std::optional<Piece> computed(std::string_view name);
    // The escapes with a form after their name ("count:2le", "rx:3,4",
    // "crc16:le"); the form is absent when none is given.
    static std::optional<Piece> countpiece(std::optional<std::string_view> form);
    static std::optional<Piece> receivedpiece(std::optional<std::string_view> range);
    static std::optional<Piece> sumpiece(std::string_view name,
                                         std::optional<std::string_view> order);
    static void appendsum(std::string &out, const Piece &piece, std::uint32_t value);
    static std::string_view arrived(const Piece &piece, const Arrival &arrival);

    std::string fixed_;
    std::vector<Piece> pieces_;
    std::vector<Checksum> sums_;
};
