#pragma once

// The numbers a received block's text holds, for the plot and the values
// file: decimal numbers with an optional sign, decimal point and exponent
// ("-3", "21.5", "1e-3"). A number that follows a name and "=" or ":"
// ("t=21.5", "h: 40") belongs to the series of that name; the others are
// series "1", "2", ... by their position among the unnamed numbers.

#include <string>
#include <string_view>
#include <vector>

struct NamedValue {
    std::string series;
    double value = 0;
    bool operator==(const NamedValue &) const = default;
};

std::vector<NamedValue> valuesintext(std::string_view text);
