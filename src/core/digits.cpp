#include "digits.h"

namespace {

std::optional<unsigned> digitvalue(char c, unsigned base) {
    unsigned value = 0;
    if (c >= '0' && c <= '9')
        value = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
        value = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        value = static_cast<unsigned>(c - 'A' + 10);
    else
        return std::nullopt;
    if (value >= base)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::uint64_t> readdigits(std::string_view digits, unsigned base,
                                        std::uint64_t limit) {
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        std::optional<unsigned> digit = digitvalue(c, base);
        if (!digit)
            return std::nullopt;
        value = value * base + *digit;
        if (value > limit)
            return std::nullopt;
    }
    return value;
}
