#include "stored_literal.h"

#include "log_store.h"

#include <QChar>

#include <cstdint>
#include <cstring>

namespace {

char16_t folded(char16_t c) {
    return QChar(c).toCaseFolded().unicode();
}

// The stored bytes that never stand for a character of their own: plain
// text holds bytes from 0x20 up only.
constexpr unsigned char firstplain = 0x20;

// Each character's byte, the same with case folded, and each byte's folded
// byte: the first byte whose character folds the same.
struct Tables {
    std::array<std::int16_t, 65536> byte;
    std::array<std::int16_t, 65536> foldedbyte;
    std::array<char, 256> same;
    std::array<char, 256> fold;

    static const Tables &get() {
        static const Tables tables;
        return tables;
    }

private:
    Tables() {
        const char16_t *chars = LogStore::chars();
        byte.fill(-1);
        foldedbyte.fill(-1);
        for (int b = 255; b >= 0; --b) {
            same[static_cast<std::size_t>(b)] = fold[static_cast<std::size_t>(b)] =
                static_cast<char>(b);
            if (b < firstplain)
                continue;
            byte[chars[b]] = static_cast<std::int16_t>(b);
            foldedbyte[folded(chars[b])] = static_cast<std::int16_t>(b);
        }
        for (int b = firstplain; b < 256; ++b)
            fold[static_cast<std::size_t>(b)] = static_cast<char>(foldedbyte[folded(chars[b])]);
    }
};

} // namespace

StoredLiteral::StoredLiteral(std::u16string_view needle, bool matchcase) : folding_(!matchcase) {
    const Tables &tables = Tables::get();
    fold_ = folding_ ? tables.fold : tables.same;
    same_ = tables.same;
    const std::array<std::int16_t, 65536> &byteof = folding_ ? tables.foldedbyte : tables.byte;
    for (const char16_t c : needle) {
        if (byteof[c] < 0) {
            inbytes_ = false;
            return;
        }
        needle_ += static_cast<char>(byteof[c]);
    }
    for (int byte = firstplain; byte < 256 && !needle_.empty(); ++byte) {
        if (fold_[static_cast<std::size_t>(byte)] == needle_.front())
            firsts_ += static_cast<char>(byte);
    }
}

std::size_t StoredLiteral::spell(const char *bytes, std::size_t size, std::string &out) const {
    static constexpr char digits[] = "0123456789ABCDEF";
    // A byte spells at most three characters (in a run of hexadecimal
    // bytes); the buffer only grows.
    if (out.size() < 3 * size)
        out.resize(3 * size);
    char *to = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= firstplain) {
            *to++ = fold_[byte];
        } else if (byte == static_cast<unsigned char>(LogStore::escape) && i + 2 < size) {
            return notext;
        } else if (byte == static_cast<unsigned char>(LogStore::hexrun) && i + 1 < size) {
            const auto count = static_cast<unsigned char>(bytes[i + 1]);
            for (std::size_t k = 0; k < count && i + 2 + k < size; ++k) {
                const auto value = static_cast<unsigned char>(bytes[i + 2 + k]);
                *to++ = fold_[static_cast<unsigned char>(' ')];
                *to++ = fold_[static_cast<unsigned char>(digits[value >> 4])];
                *to++ = fold_[static_cast<unsigned char>(digits[value & 0x0F])];
            }
            i += 1 + count;
        } else {
            *to++ = '\0'; // a control character: no needle holds one in bytes
        }
    }
    return static_cast<std::size_t>(to - out.data());
}

const char *StoredLiteral::search(const char *text, std::size_t length,
                                  const std::array<char, 256> &table,
                                  std::string_view firsts) const {
    const std::size_t size = needle_.size();
    if (length < size)
        return nullptr;
    // Each first byte's next place, found with memchr; the earliest is
    // compared in full.
    const char *end = text + (length - size + 1); // past the last start
    const auto after = [&](const char *from, char byte) {
        const void *at = std::memchr(from, byte, static_cast<std::size_t>(end - from));
        return at ? static_cast<const char *>(at) : end;
    };
    std::array<const char *, 256> next;
    for (std::size_t i = 0; i < firsts.size(); ++i)
        next[i] = after(text, firsts[i]);
    for (;;) {
        std::size_t earliest = 0;
        for (std::size_t i = 1; i < firsts.size(); ++i)
            earliest = next[i] < next[earliest] ? i : earliest;
        const char *at = next[earliest];
        if (at == end)
            return nullptr;
        std::size_t k = 1;
        while (k < size && table[static_cast<unsigned char>(at[k])] == needle_[k])
            ++k;
        if (k == size)
            return at;
        next[earliest] = after(at + 1, firsts[earliest]);
    }
}

StoredLiteral::Result StoredLiteral::find(const char *bytes, std::size_t size, std::string &scratch,
                                          qsizetype &at) const {
    const bool escaped = std::memchr(bytes, LogStore::escape, size) != nullptr;
    if (!inbytes_)
        return escaped ? Result::decode : Result::none;
    const char *text = bytes;
    std::size_t length = size;
    const char *hit = nullptr;
    if (escaped || std::memchr(bytes, LogStore::hexrun, size) != nullptr) {
        // Spelled out, the text is folded already.
        length = spell(bytes, size, scratch);
        if (length == notext)
            return Result::decode;
        text = scratch.data();
        hit = search(text, length, same_, std::string_view(needle_).substr(0, 1));
    } else {
        hit = search(text, length, fold_, firsts_);
    }
    if (!hit)
        return Result::none;
    at = hit - text;
    return Result::found;
}
