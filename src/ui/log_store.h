#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The text of a log, kept compactly: every line's characters as
// Windows-1250 bytes in one append-only store, and per line only where it
// starts, how long it is, its style (an index into the log's small table of
// styles), its displayed rows and its natural width in pixels. A character
// the code page lacks (typed by the user) is kept as an escape byte and its
// UTF-16 code, so no text is ever lost.
class LogStore {
public:
    struct Line {
        std::uint64_t start;
        std::uint32_t length; // in bytes
        std::uint32_t rows;
        std::uint16_t width; // natural width in pixels, saturated
        std::uint8_t style;
    } __attribute__((packed));

    static constexpr std::uint16_t widest = 0xFFFF;

    std::int64_t count() const { return static_cast<std::int64_t>(lines_.size()); }
    bool empty() const { return lines_.empty(); }
    const Line &line(std::int64_t n) const { return lines_[static_cast<std::size_t>(n)]; }
    Line &line(std::int64_t n) { return lines_[static_cast<std::size_t>(n)]; }

    // Adds a last line holding the text.
    void add(const QString &text, std::uint8_t style, std::uint32_t rows, std::uint16_t width);
    // Appends text to the last line, which must end the store.
    void append(const QString &text);
    // Replaces the lines first to last (inclusive) by the given texts, all
    // in one style; rows and widths are filled in by the caller.
    void replace(std::int64_t first, std::int64_t last, const std::vector<QString> &texts,
                 std::uint8_t style);
    void clear();

    QString text(std::int64_t n) const;
    // The line's bytes as they are stored (escapes included).
    void bytes(std::int64_t n, std::string &out) const;
    // The bytes held, and what the per-line records take.
    std::uint64_t storedbytes() const { return size_; }

    static void encode(const QString &text, std::string &out);
    static QString decode(const char *bytes, std::size_t size);

private:
    void put(const std::string &bytes);
    std::uint64_t size_ = 0;
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::vector<Line> lines_;
    std::string scratch_;
};

// The rows of every line, summed so that the row a line starts at and the
// line a row belongs to are both found in O(log n) (a Fenwick tree).
class RowIndex {
public:
    void push(std::uint32_t rows);
    // Changes the rows of the last line.
    void setlast(std::uint32_t rows);
    void rebuild(const LogStore &store);
    void clear();

    std::int64_t total() const { return total_; }
    // The rows before line n.
    std::int64_t before(std::int64_t n) const;
    // The line holding row r (0-based) and the row's place in it.
    std::pair<std::int64_t, std::int64_t> find(std::int64_t r) const;

private:
    std::vector<std::uint32_t> tree_; // 1-based, tree_[0] unused
    std::uint32_t last_ = 0;
    std::int64_t total_ = 0;
};
