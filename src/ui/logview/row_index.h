#pragma once

#include "grow_array.h"
#include "in_parallel.h"
#include "line_map.h"

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

// The rows of every line at the wrap width, in one byte a line, summed per
// 64 lines in a Fenwick tree, so that the row a line starts at and the line
// a row belongs to are both found in O(log n) and a short scan. A line of
// one row keeps its natural width in the byte too (rounded up to 8 pixels):
// after a change of width, a line that surely still fits is not wrapped
// again. The rows of a line are kept here and nowhere else.
class RowIndex {
public:
    // A line's shape: its rows and its width on one row.
    struct Shape {
        std::uint32_t rows = 1;
        double natural = 0;
    };

    void push(const Shape &shape);
    // Changes the shape of the last line.
    void setlast(const Shape &shape) { set(count() - 1, shape); }
    // Changes the shape of line n, in O(log n).
    void set(std::int64_t n, const Shape &shape);
    // Replaces the shapes of count lines from first by the given ones: in
    // O(log n) per line when as many come as go, else in one linear pass.
    void splice(std::int64_t first, std::int64_t count, const std::vector<Shape> &shapes);
    void clear();

    // Whether line n surely is one row at the width.
    bool fits(std::int64_t n, double width) const {
        const std::uint8_t code = codes_[static_cast<std::size_t>(n)];
        return code < wrapped && code * unit <= width;
    }
    // After a change of width: rewrap(from, to, reshape) is called on parts
    // of [0, count) from several threads at once and calls reshape(n, shape)
    // for each line of its part that does not surely fit (see fits()).
    template <class F> void rebuild(F &&rewrap);

    std::int64_t count() const { return static_cast<std::int64_t>(codes_.size()); }
    std::int64_t total() const { return total_; }
    std::uint32_t rows(std::int64_t n) const;
    // The rows before line n.
    std::int64_t before(std::int64_t n) const;
    // The line holding row r (0-based) and the row's place in it.
    std::pair<std::int64_t, std::int64_t> find(std::int64_t r) const;

private:
    static constexpr int blockbits = 6;
    static constexpr std::uint8_t wrapped = 0x80; // from here on: 0x80 | rows
    static constexpr std::uint8_t manyrows = 0xFF;
    static constexpr double unit = 8;

    static std::uint8_t code(const Shape &shape);
    void setcode(std::int64_t n, const Shape &shape);
    void addto(std::int64_t block, std::int64_t delta);
    void sumblocks(); // the tree from the codes, in one pass

    GrowArray<std::uint8_t> codes_;
    LineMap<std::uint32_t> manyrows_; // lines of 127 rows and more
    GrowArray<std::int64_t> tree_;    // over blocks, 1-based, tree_[0] unused
    std::int64_t total_ = 0;
};

template <class F> void RowIndex::rebuild(F &&rewrap) {
    manyrows_.clear();
    std::vector<std::vector<std::pair<std::int64_t, std::uint32_t>>> many;
    std::mutex gathering;
    inparallel(count(), [&](std::int64_t from, std::int64_t to) {
        std::vector<std::pair<std::int64_t, std::uint32_t>> mine;
        rewrap(from, to, [&](std::int64_t n, const Shape &shape) {
            codes_[static_cast<std::size_t>(n)] = code(shape);
            if (shape.rows >= manyrows - wrapped)
                mine.emplace_back(n, shape.rows);
        });
        const std::lock_guard<std::mutex> held(gathering);
        many.push_back(std::move(mine));
    });
    for (auto &part : many) {
        if (!part.empty())
            manyrows_.merge(std::move(part));
    }
    sumblocks();
}
