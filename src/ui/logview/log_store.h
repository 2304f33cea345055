#pragma once

#include "grow_array.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The text of a log, kept compactly: every line's characters as
// Windows-1250 bytes in one append-only store, and per line 12 bytes: where
// it starts, how long it is, its style (an index into the log's small table
// of styles) and its natural width in pixels. Its rows live in the RowIndex
// only. A character the code page lacks (typed by the user) is kept as an
// escape byte and its UTF-16 code, so no text is ever lost; a run of
// hexadecimal bytes as the logs write them (" 4F 4B") is kept as its bytes,
// one for every three characters.
class LogStore {
public:
    struct Line {
        std::uint32_t startlow;
        std::uint8_t starthigh;
        std::uint8_t style;
        std::uint16_t width;  // natural width in pixels, saturated
        std::uint32_t length; // in stored bytes

        std::uint64_t start() const { return startlow | std::uint64_t(starthigh) << 32; }
        void setstart(std::uint64_t at) {
            startlow = static_cast<std::uint32_t>(at);
            starthigh = static_cast<std::uint8_t>(at >> 32);
        }
    };
    static_assert(sizeof(Line) == 12);

    static constexpr std::uint16_t widest = 0xFFFF;

    std::int64_t count() const { return static_cast<std::int64_t>(lines_.size()); }
    bool empty() const { return lines_.empty(); }
    const Line &line(std::int64_t n) const { return lines_[static_cast<std::size_t>(n)]; }
    Line &line(std::int64_t n) { return lines_[static_cast<std::size_t>(n)]; }

    // Adds a last line holding the text.
    void add(QStringView text, std::uint8_t style, std::uint16_t width);
    // Appends text to the last line.
    void append(QStringView text);
    // Replaces the lines first to last (inclusive) by the given texts, all
    // in one style; widths are filled in by the caller.
    void replace(std::int64_t first, std::int64_t last, const std::vector<QString> &texts,
                 std::uint8_t style);
    void clear();

    QString text(std::int64_t n) const;
    // The same into a buffer that is reused.
    void text(std::int64_t n, std::u16string &out) const;
    // Calls f with every character of line n, in order, without building
    // its text.
    template <class F> void forchars(std::int64_t n, F &&f) const;
    // The line's bytes as they are stored (escapes included).
    void bytes(std::int64_t n, std::string &out) const;
    // The bytes of text held.
    std::uint64_t storedbytes() const { return size_; }

    static void encode(QStringView text, std::string &out);
    static QString decode(const char *bytes, std::size_t size);
    static void decode(const char *bytes, std::size_t size, std::u16string &out);

    // The stored forms of a character the code page lacks and of a run of
    // hexadecimal bytes.
    static constexpr char escape = 0x01;
    static constexpr char hexrun = 0x02;
    static const char16_t *chars(); // each byte's character

private:
    template <class F> void pieces(std::int64_t n, F &&f) const;
    void put(const std::string &bytes);
    std::uint64_t size_ = 0;
    std::vector<std::unique_ptr<char[]>> chunks_;
    GrowArray<Line> lines_;
    std::string scratch_;
    static constexpr int chunkbits = 20;
    static constexpr std::uint64_t chunksize = std::uint64_t(1) << chunkbits;
};

// Runs work(from, to) over [0, n) in parts on the machine's cores, the
// calling thread taking one, and returns when all are done. An exception
// from any part is thrown here.
void inparallel(std::int64_t n, const std::function<void(std::int64_t, std::int64_t)> &work);

// The rows of every line, summed so that the row a line starts at and the
// line a row belongs to are both found in O(log n) (a Fenwick tree). The
// rows of a line are kept here and nowhere else.
class RowIndex {
public:
    void push(std::uint32_t rows);
    // Changes the rows of the last line.
    void setlast(std::uint32_t rows);
    // Changes the rows of line n, in O(log n).
    void set(std::int64_t n, std::uint32_t rows);
    // Replaces the rows of count lines from first by the given rows: in
    // O(log n) per line when as many come as go, else in one linear pass.
    void splice(std::int64_t first, std::int64_t count, const std::vector<std::uint32_t> &rows);
    // Fills the index anew from rowsof(n) for n lines, in one linear pass
    // shared among the cores: rowsof is called from several threads at once.
    template <class F> void build(std::int64_t n, F &&rowsof);
    void clear();

    std::int64_t count() const { return tree_.empty() ? 0 : std::int64_t(tree_.size()) - 1; }
    std::int64_t total() const { return total_; }
    std::uint32_t rows(std::int64_t n) const {
        return static_cast<std::uint32_t>(before(n + 1) - before(n));
    }
    // The rows before line n.
    std::int64_t before(std::int64_t n) const;
    // The line holding row r (0-based) and the row's place in it.
    std::pair<std::int64_t, std::int64_t> find(std::int64_t r) const;

private:
    void add(std::int64_t n, std::int64_t delta);
    void fromraw(); // tree_[1..] holds each line's rows; makes it the tree
    void toraw();
    GrowArray<std::uint32_t> tree_; // 1-based, tree_[0] unused
    std::uint32_t last_ = 0;
    std::int64_t total_ = 0;
};

template <class F> void LogStore::pieces(std::int64_t n, F &&f) const {
    const Line &l = line(n);
    std::uint64_t at = l.start();
    std::size_t done = 0;
    while (done < l.length) {
        const std::uint64_t place = at & (chunksize - 1);
        const std::size_t piece =
            std::min(static_cast<std::size_t>(chunksize - place), l.length - done);
        f(chunks_[at >> chunkbits].get() + place, piece);
        done += piece;
        at += piece;
    }
}

template <class F> void LogStore::forchars(std::int64_t n, F &&f) const {
    const char16_t *table = chars();
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    // An escape may straddle two chunks: its bytes are gathered first.
    int want = 0; // bytes an escape still needs
    int got = 0;
    unsigned char held[2] = {0, 0};
    char kind = 0;
    pieces(n, [&](const char *bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if (want > 0) {
                if (kind == escape) {
                    held[got++] = byte;
                    if (--want == 0)
                        f(static_cast<char16_t>(held[0] | (held[1] << 8)));
                } else if (got == 0) {
                    got = 1;
                    want = byte;
                } else {
                    f(u' ');
                    f(digits[byte >> 4]);
                    f(digits[byte & 0x0F]);
                    --want;
                }
                continue;
            }
            if (byte == static_cast<unsigned char>(escape) ||
                byte == static_cast<unsigned char>(hexrun)) {
                kind = static_cast<char>(byte);
                want = kind == escape ? 2 : 1;
                got = 0;
                continue;
            }
            f(table[byte]);
        }
    });
}

template <class F> void RowIndex::build(std::int64_t n, F &&rowsof) {
    tree_.assign(static_cast<std::size_t>(n + 1), 0);
    std::uint32_t *const raw = tree_.begin() + 1;
    inparallel(n, [&](std::int64_t from, std::int64_t to) {
        for (std::int64_t i = from; i < to; ++i)
            raw[i] = rowsof(i);
    });
    fromraw();
}
