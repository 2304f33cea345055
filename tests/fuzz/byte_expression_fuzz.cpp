// Compares the filters' expressions with a plain PCRE2 match of the same
// pattern: the shortcut that looks up bytes before the matcher runs must
// never turn a match away.
#define PCRE2_CODE_UNIT_WIDTH 8
#include "byte_expression.h"

#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// -1: the pattern does not compile; else whether the block matches.
int plainmatch(std::string_view pattern, std::string_view block) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_DOTALL, &error, &offset, nullptr);
    if (code == nullptr)
        return -1;
    pcre2_match_data *data = pcre2_match_data_create_from_pattern(code, nullptr);
    const int found = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(block.data()), block.size(), 0,
                                  0, data, nullptr);
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    // A matcher that gives up (too much backtracking) decides nothing here.
    return found >= 0 ? 1 : found == PCRE2_ERROR_NOMATCH ? 0 : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The first byte is the pattern's length; the block follows it.
    if (size < 1 || data[0] == 0 || size - 1 < data[0])
        return 0;
    const std::string_view input(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string_view pattern = input.substr(0, data[0]);
    const std::string_view block = input.substr(data[0]);
    const int expected = plainmatch(pattern, block);
    ByteExpression expression;
    if (!expression.compile(pattern).empty()) {
        if (expected >= 0)
            __builtin_trap(); // PCRE2 compiles what the filter refused
        return 0;
    }
    if (expected >= 0 && expression.matches(block, bytespresent(block)) != (expected == 1))
        __builtin_trap();
    return 0;
}
