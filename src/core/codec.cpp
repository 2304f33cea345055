#include "codec.h"

#include "cp1250.h"
#include "digits.h"
#include "errors.h"

#include <algorithm>
#include <cstdint>
#include <optional>

const std::array<std::string_view, 32> ctrlnames = {
    "nul", "soh", "stx", "etx", "eot", "enq", "ack", "bel", //
    "bs",  "tab", "lf",  "vt",  "ff",  "cr",  "so",  "si",  //
    "dle", "dc1", "dc2", "dc3", "dc4", "nak", "syn", "etb", //
    "can", "em",  "sub", "esc", "fs",  "gs",  "rs",  "us",
};

namespace {

[[noreturn]] void throwinvalid(std::string_view text) {
    // Messages are UTF-8; the typed text quoted in it is Windows-1250 bytes.
    throw KrovanError("'" + cp1250ToUtf8(text) + "' is not a valid integer value");
}

// Returns the hexadecimal digits when `text` starts with one of the
// hexadecimal prefixes, nullopt when it is a decimal number text.
std::optional<std::string_view> hexdigitsof(std::string_view text) {
    for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (text.starts_with(prefix))
            return text.substr(prefix.size());
    }
    return std::nullopt;
}

char lowbyte(int value) {
    return static_cast<char>(static_cast<unsigned char>(value));
}

} // namespace

int strtoint(std::string_view text) {
    std::string_view rest = text;
    while (rest.starts_with(' '))
        rest.remove_prefix(1);
    bool negative = false;
    if (rest.starts_with('+') || rest.starts_with('-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }

    if (std::optional<std::string_view> hex = hexdigitsof(rest)) {
        std::optional<std::uint64_t> value = readdigits(*hex, 16, 0xFFFFFFFFu);
        if (!value)
            throwinvalid(text);
        // 32-bit two's complement: "$FFFFFFFF" is -1, "-$1" is -1.
        std::uint32_t bits = static_cast<std::uint32_t>(*value);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }

    constexpr std::uint64_t largestmagnitude = 2147483648u; // of INT32_MIN
    std::optional<std::uint64_t> value = readdigits(rest, 10, largestmagnitude);
    if (!value || (!negative && *value == largestmagnitude))
        throwinvalid(text);
    std::int64_t signedvalue = static_cast<std::int64_t>(*value);
    return static_cast<int>(negative ? -signedvalue : signedvalue);
}

namespace {

// Each escape appends its output and returns the position after its last
// character.

std::size_t namedescape(std::string_view text, std::size_t pos, std::string &out,
                        const ComputedEscape &computed) {
    std::size_t close = text.find('>', pos + 1);
    if (close == std::string_view::npos) {
        // No ">" follows: keep the rest of the line as typed rather than
        // silently dropping it.
        out.append(text.substr(pos));
        return text.size();
    }
    std::string_view name = text.substr(pos + 1, close - pos - 1);
    if (name.starts_with('=')) {
        if (computed)
            computed(text.substr(pos, close + 1 - pos), out);
        return close + 1;
    }
    auto found = std::find(ctrlnames.begin(), ctrlnames.end(), name);
    if (found != ctrlnames.end())
        out.push_back(static_cast<char>(found - ctrlnames.begin()));
    return close + 1;
}

std::size_t hexescape(std::string_view text, std::size_t pos, std::string &out) {
    std::string_view piece = text.substr(pos, 3); // "$" and up to two characters
    out.push_back(lowbyte(strtoint(piece)));
    return pos + piece.size();
}

std::size_t decimalescape(std::string_view text, std::size_t pos, std::string &out) {
    std::string_view piece = text.substr(pos + 1, 3); // up to three characters after "#"
    out.push_back(lowbyte(strtoint(piece)));
    return pos + 1 + piece.size();
}

} // namespace

std::string wildtostr(std::string_view text) {
    return wildtostrwith(text, {});
}

std::string wildtostrwith(std::string_view text, const ComputedEscape &computed) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        bool doubled = pos + 1 < text.size() && text[pos + 1] == c;
        if ((c == '<' || c == '$' || c == '#') && doubled) {
            out.push_back(c);
            pos += 2;
        } else if (c == '<') {
            pos = namedescape(text, pos, out, computed);
        } else if (c == '$') {
            pos = hexescape(text, pos, out);
        } else if (c == '#') {
            pos = decimalescape(text, pos, out);
        } else {
            out.push_back(c);
            ++pos;
        }
    }
    return out;
}

std::string hextostr(std::string_view text) {
    return hextostrwith(text, {});
}

std::string hextostrwith(std::string_view text, const ComputedEscape &computed) {
    std::string out;
    std::string pair = "$";
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == ' ')
            continue;
        // An escape between pairs; inside a pair, "<" is a foreign digit.
        const bool escape = c == '<' && pair.size() == 1 && text.substr(pos).starts_with("<=");
        if (const std::size_t close = escape ? text.find('>', pos) : text.npos;
            close != text.npos) {
            if (computed)
                computed(text.substr(pos, close + 1 - pos), out);
            pos = close;
            continue;
        }
        pair.push_back(c);
        if (pair.size() == 3) {
            out.push_back(lowbyte(strtoint(pair)));
            pair.resize(1);
        }
    }
    return out;
}
