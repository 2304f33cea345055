#pragma once

// A Perl-compatible regular expression over bytes: each byte of a block is
// one character (the block read as Latin-1), `.` is any byte, and a match is
// looked for anywhere in the block. Compiled once (with the JIT where the
// platform has it); a block is tested without allocating. Before running
// the matcher, the first and the required byte the pattern names, where it
// names them, are looked up in the block's table of present bytes, so that
// most expressions that cannot match a block cost a few lookups.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// Which of the 256 byte values a block holds, made once a block.
using BytesPresent = std::array<bool, 256>;
BytesPresent bytespresent(std::string_view block);

class ByteExpression {
public:
    // How much backtracking one match may take (a few milliseconds): past
    // it the block counts as not matching, so that no expression holds the
    // receive processing.
    static constexpr unsigned matchLimit = 1'000'000;

    ByteExpression();
    ~ByteExpression();
    ByteExpression(ByteExpression &&) noexcept;
    ByteExpression &operator=(ByteExpression &&) noexcept;

    // Compiles the pattern's bytes; returns why it cannot be used, or an
    // empty text.
    std::string compile(std::string_view pattern);
    bool valid() const;
    bool matches(std::string_view block, const BytesPresent &present) const;
    // Where the last match and its groups 1 to 9 stand in the block (index
    // 0: the whole match); npos where a group took no part.
    using Spans = std::array<std::pair<std::size_t, std::size_t>, 10>;
    Spans spans() const;
    // How many groups the expression has (0 when it is not compiled).
    int groups() const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
};
