#include "data_template.h"

#include "codec.h"
#include "cp1250.h"
#include "digits.h"
#include "errors.h"

#include <algorithm>

namespace {

// Low `size` bytes of `value`, most significant first unless `lowfirst`.
void appendvalue(std::string &out, std::uint64_t value, int size, bool lowfirst) {
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (lowfirst ? i : size - 1 - i);
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void appendhexdigits(std::string &out, std::uint64_t value, int size) {
    static constexpr char digits[] = "0123456789ABCDEF";
    for (int nibble = 2 * size - 1; nibble >= 0; --nibble)
        out.push_back(digits[(value >> (4 * nibble)) & 0xF]);
}

std::optional<long long> number(std::string_view text, bool signedtoo) {
    const bool negative = signedtoo && text.starts_with('-');
    if (negative)
        text.remove_prefix(1);
    const auto value = readdigits(text, 10, std::uint64_t{1} << 31);
    if (!value)
        return std::nullopt;
    return negative ? -static_cast<long long>(*value) : static_cast<long long>(*value);
}

} // namespace

DataTemplate::DataTemplate(std::string_view text, bool hex) {
    const ComputedEscape take = [this](std::string_view escape, std::string &out) {
        this->take(escape, out);
    };
    std::string rest = hex ? hextostrwith(text, take) : wildtostrwith(text, take);
    if (pieces_.empty())
        fixed_ = std::move(rest);
    else
        addbytes(std::move(rest));
}

void DataTemplate::addbytes(std::string bytes) {
    if (bytes.empty())
        return;
    Piece piece;
    piece.bytes = std::move(bytes);
    pieces_.push_back(std::move(piece));
}

void DataTemplate::take(std::string_view escape, std::string &out) {
    // "<=" name ">"
    std::optional<Piece> piece = computed(escape.substr(2, escape.size() - 3));
    if (!piece)
        throw KrovanError("Neznámý výpočet '" + cp1250ToUtf8(escape) + "'");
    addbytes(std::move(out));
    out.clear();
    if (piece->kind == Piece::Kind::Sum) {
        const auto known = std::find(sums_.begin(), sums_.end(), *piece->sum);
        piece->slot = static_cast<std::size_t>(known - sums_.begin());
        if (known == sums_.end())
            sums_.push_back(*piece->sum);
    }
    pieces_.push_back(std::move(*piece));
}

std::string DataTemplate::checksum(std::string_view name, std::string_view bytes) {
    const std::optional<Piece> piece = computed(name);
    if (!piece || piece->kind != Piece::Kind::Sum)
        throw KrovanError("Neznámý výpočet '<=" + cp1250ToUtf8(name) + ">'");
    std::string out;
    appendsum(out, *piece, piece->sum->of(bytes));
    return out;
}

void DataTemplate::appendsum(std::string &out, const Piece &piece, std::uint32_t value) {
    const Checksum &sum = *piece.sum;
    if (piece.order == Order::Hex)
        appendhexdigits(out, value, sum.size());
    else
        appendvalue(out, value, sum.size(),
                    piece.order == Order::Low || (piece.order == Order::Usual && sum.lowfirst()));
}

// The piece a name stands for; none when it cannot be computed.
std::optional<DataTemplate::Piece> DataTemplate::computed(std::string_view name) {
    using enum Piece::Kind;
    Piece piece;
    if (name == "[" || name == "]") {
        piece.kind = name == "[" ? Begin : End;
        return piece;
    }
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '9') {
        piece.kind = Group;
        piece.group = name[0] - '0';
        return piece;
    }
    // The generic CRC's model holds no colon; an order may follow it.
    const std::size_t from = name.starts_with("crc:") ? 4 : 0;
    const std::size_t colon = name.find(':', from);
    const std::string_view head = name.substr(0, colon);
    const std::optional<std::string_view> tail =
        colon == name.npos ? std::nullopt : std::optional(name.substr(colon + 1));
    if (head == "count")
        return countpiece(tail);
    if (head == "rx")
        return receivedpiece(tail);
    return sumpiece(head, tail);
}

std::optional<DataTemplate::Piece> DataTemplate::countpiece(std::optional<std::string_view> form) {
    static constexpr std::array<std::pair<std::string_view, std::pair<int, bool>>, 5> forms{{
        {"1", {1, false}},
        {"2", {2, false}},
        {"4", {4, false}},
        {"2le", {2, true}},
        {"4le", {4, true}},
    }};
    Piece piece;
    piece.kind = Piece::Kind::Count;
    if (!form)
        return piece;
    for (const auto &[each, layout] : forms)
        if (*form == each) {
            piece.size = layout.first;
            piece.order = layout.second ? Order::Low : Order::High;
            return piece;
        }
    return std::nullopt;
}

std::optional<DataTemplate::Piece>
DataTemplate::receivedpiece(std::optional<std::string_view> range) {
    Piece piece;
    piece.kind = Piece::Kind::Received;
    if (!range)
        return piece;
    const std::size_t comma = range->find(',');
    const auto start = number(range->substr(0, comma), true);
    const auto count = comma == range->npos ? std::optional<long long>(-1)
                                            : number(range->substr(comma + 1), false);
    if (!start || !count)
        return std::nullopt;
    piece.from = *start;
    piece.count = *count;
    return piece;
}

std::optional<DataTemplate::Piece> DataTemplate::sumpiece(std::string_view name,
                                                          std::optional<std::string_view> order) {
    std::optional<Checksum> sum = Checksum::named(name);
    if (!sum)
        return std::nullopt;
    Piece piece;
    piece.kind = Piece::Kind::Sum;
    piece.sum = sum;
    if (!order)
        return piece;
    if (*order == "be")
        piece.order = Order::High;
    else if (*order == "le")
        piece.order = Order::Low;
    else if (*order == "hex")
        piece.order = Order::Hex;
    else
        return std::nullopt;
    return piece;
}

std::string DataTemplate::bytes(std::optional<std::uint64_t> count, const Arrival *arrival) const {
    if (fixed())
        return fixed_;
    using enum Piece::Kind;
    std::string out;
    // Where the checksums' range starts, and where a <=]> ends it.
    std::size_t begin = 0;
    std::size_t end = std::string::npos;
    // Each distinct checksum's state, the range it began at and how far it
    // has been fed: the next one of it feeds only the bytes since.
    struct Running {
        std::uint64_t state = 0;
        std::size_t begin = std::string::npos;
        std::size_t fed = 0;
    };
    std::vector<Running> running(sums_.size());
    for (const Piece &piece : pieces_) {
        switch (piece.kind) {
        case Bytes:
            out += piece.bytes;
            break;
        case Begin:
            begin = out.size();
            end = std::string::npos;
            break;
        case End:
            end = out.size();
            break;
        case Sum: {
            const Checksum &sum = *piece.sum;
            const std::size_t stop = std::min(end, out.size());
            Running &state = running[piece.slot];
            if (state.begin != begin || state.fed > stop)
                state = {sum.begin(), begin, begin};
            sum.feed(state.state, std::string_view(out).substr(state.fed, stop - state.fed));
            state.fed = stop;
            appendsum(out, piece, sum.value(state.state));
            break;
        }
        case Count:
            if (!count)
                break;
            if (piece.size == 0)
                out += std::to_string(*count);
            else
                appendvalue(out, *count, piece.size, piece.order == Order::Low);
            break;
        case Received:
        case Group:
            if (arrival)
                out += arrived(piece, *arrival);
            break;
        }
    }
    return out;
}

// What a piece takes of the block that arrived: a range of it, or where a
// group of the answering expression matched.
std::string_view DataTemplate::arrived(const Piece &piece, const Arrival &arrival) {
    if (piece.kind == Piece::Kind::Group) {
        const auto [start, stop] = arrival.groups[static_cast<std::size_t>(piece.group)];
        if (start != Arrival::unset && stop >= start && stop <= arrival.block.size())
            return arrival.block.substr(start, stop - start);
        return {};
    }
    const auto size = static_cast<long long>(arrival.block.size());
    const long long first = piece.from < 0 ? size + piece.from : piece.from;
    const long long last = piece.count < 0 ? size : first + piece.count;
    const long long from = std::clamp(first, 0LL, size);
    const long long to = std::clamp(last, from, size);
    return arrival.block.substr(static_cast<std::size_t>(from),
                                static_cast<std::size_t>(to - from));
}
