#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// A literal text looked for in a line as the log stores it (Windows-1250
// bytes, see LogStore) without making the line's UTF-16 text first. In a
// line of plain bytes the literal is a byte pattern (its other letter case
// folded by a byte table); a run of hexadecimal bytes is spelled out as the
// bytes of its characters. Only a line that holds a character the code page
// lacks is left to the caller to decode.
class StoredLiteral {
public:
    // The needle is folded already when case does not matter.
    StoredLiteral(std::u16string_view needle, bool matchcase);

    enum class Result { found, none, decode };
    // Looks in the line's stored bytes; on `found`, `at` is the character
    // where the first match starts. `scratch` is reused from line to line.
    Result find(const char *bytes, std::size_t size, std::string &scratch, qsizetype &at) const;

private:
    // Writes the line's characters as bytes of the folded text into `out`
    // and returns how many, or notext where it holds an escaped character.
    static constexpr std::size_t notext = ~std::size_t(0);
    std::size_t spell(const char *bytes, std::size_t size, std::string &out) const;

    // The first place in the text where the needle starts, its bytes read
    // through `table`; `firsts` are the bytes the needle's first can be.
    const char *search(const char *text, std::size_t length, const std::array<char, 256> &table,
                       std::string_view firsts) const;

    std::string needle_;  // as bytes of the folded text
    std::string firsts_;  // the stored bytes that fold to the needle's first
    bool inbytes_ = true; // false: only an escaped character can match it
    bool folding_ = false;
    std::array<char, 256> fold_{}; // each byte's folded byte
    std::array<char, 256> same_{}; // each byte itself
};
