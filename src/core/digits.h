#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Reads all of `digits` in `base` (10 or 16, either case); nullopt when it is
// empty, holds a foreign character or exceeds `limit`. Stops accumulating
// past the limit, so no overflow happens however long the text is.
std::optional<std::uint64_t> readdigits(std::string_view digits, unsigned base,
                                        std::uint64_t limit);
