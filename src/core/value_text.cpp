#include "value_text.h"

#include <charconv>
#include <cmath>

namespace {

bool isdigit(char c) {
    return c >= '0' && c <= '9';
}

bool isnamechar(char c) {
    return isdigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// The length of the number at `at`, 0 when none starts there.
std::size_t numberlength(std::string_view text, std::size_t at) {
    std::size_t i = at;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::size_t digits = i;
    while (i < text.size() && isdigit(text[i]))
        ++i;
    bool any = i > digits;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && isdigit(text[i]))
            ++i;
        any = any || i > fraction;
        if (!any)
            return 0;
    }
    if (!any)
        return 0;
    // An exponent only where digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (e < text.size() && isdigit(text[e])) {
            while (e < text.size() && isdigit(text[e]))
                ++e;
            i = e;
        }
    }
    return i - at;
}

// The name before a number: letters, digits and "_" ending just before
// "=" or ":" (blanks allowed around it), beginning with no digit.
std::string nameof(std::string_view text, std::size_t at) {
    std::size_t i = at;
    while (i > 0 && text[i - 1] == ' ')
        --i;
    if (i == 0 || (text[i - 1] != '=' && text[i - 1] != ':'))
        return {};
    --i;
    while (i > 0 && text[i - 1] == ' ')
        --i;
    const std::size_t end = i;
    while (i > 0 && isnamechar(text[i - 1]))
        --i;
    if (i == end || isdigit(text[i]))
        return {};
    return std::string(text.substr(i, end - i));
}

} // namespace

std::vector<NamedValue> valuesintext(std::string_view text) {
    std::vector<NamedValue> values;
    int unnamed = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        // A number starts where no name, number or point runs into it.
        const bool free = i == 0 || (!isnamechar(text[i - 1]) && text[i - 1] != '.');
        const std::size_t length = free ? numberlength(text, i) : 0;
        if (length == 0) {
            ++i;
            continue;
        }
        const std::string_view number = text.substr(i, length);
        // from_chars takes no leading "+".
        const std::string_view digits = number.front() == '+' ? number.substr(1) : number;
        double value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error == std::errc() && end == digits.data() + digits.size() && std::isfinite(value)) {
            std::string name = nameof(text, i);
            if (name.empty())
                name = std::to_string(++unnamed);
            values.push_back({std::move(name), value});
        }
        i += length;
        // The rest of a run of name characters is no number of its own.
        while (i < text.size() && (isnamechar(text[i]) || text[i] == '.'))
            ++i;
    }
    return values;
}
