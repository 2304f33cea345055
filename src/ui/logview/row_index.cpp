#include "row_index.h"

#include <algorithm>
#include <cmath>

std::uint8_t RowIndex::code(const Shape &shape) {
    const double units = std::ceil(shape.natural / unit);
    if (shape.rows == 1 && units < wrapped)
        return static_cast<std::uint8_t>(std::max(0.0, units));
    return static_cast<std::uint8_t>(wrapped |
                                     std::min<std::uint32_t>(shape.rows, manyrows - wrapped));
}

std::uint32_t RowIndex::rows(std::int64_t n) const {
    const std::uint8_t c = codes_[static_cast<std::size_t>(n)];
    if (c < wrapped)
        return 1;
    if (c != manyrows)
        return c & ~wrapped;
    return *manyrows_.find(n);
}

// Sets the code of line n and keeps the rows of a line of very many aside.
void RowIndex::setcode(std::int64_t n, const Shape &shape) {
    const std::uint8_t c = code(shape);
    if (codes_[static_cast<std::size_t>(n)] == manyrows)
        manyrows_.erase(n);
    codes_[static_cast<std::size_t>(n)] = c;
    if (c == manyrows)
        manyrows_.set(n, shape.rows);
}

void RowIndex::push(const Shape &shape) {
    const std::int64_t n = count();
    codes_.push_back(0);
    setcode(n, shape);
    const std::int64_t block = n >> blockbits;
    if ((n & ((1 << blockbits) - 1)) == 0) {
        if (tree_.empty())
            tree_.push_back(0);
        // Node b sums its own block and the nodes b - 1, b - 2, b - 4, ...
        // below its lowest bit.
        const std::int64_t b = block + 1;
        std::int64_t sum = 0;
        for (std::int64_t step = 1; step < (b & -b); step <<= 1)
            sum += tree_[static_cast<std::size_t>(b - step)];
        tree_.push_back(sum);
    }
    addto(block, shape.rows);
}

void RowIndex::addto(std::int64_t block, std::int64_t delta) {
    const auto size = static_cast<std::int64_t>(tree_.size());
    for (std::int64_t i = block + 1; i < size; i += i & -i)
        tree_[static_cast<std::size_t>(i)] += delta;
    total_ += delta;
}

void RowIndex::set(std::int64_t n, const Shape &shape) {
    const std::uint32_t old = rows(n);
    setcode(n, shape);
    addto(n >> blockbits, static_cast<std::int64_t>(shape.rows) - old);
}

void RowIndex::splice(std::int64_t first, std::int64_t count, const std::vector<Shape> &shapes) {
    if (static_cast<std::int64_t>(shapes.size()) == count) {
        for (std::int64_t i = 0; i < count; ++i)
            set(first + i, shapes[static_cast<std::size_t>(i)]);
        return;
    }
    manyrows_.erase(first, first + count);
    manyrows_.shift(first + count, static_cast<std::int64_t>(shapes.size()) - count);
    const std::vector<std::uint8_t> zeros(shapes.size(), 0);
    codes_.insert(codes_.erase(codes_.begin() + first, codes_.begin() + first + count),
                  zeros.begin(), zeros.end());
    for (std::size_t i = 0; i < shapes.size(); ++i)
        setcode(first + static_cast<std::int64_t>(i), shapes[i]);
    sumblocks();
}

void RowIndex::sumblocks() {
    const std::int64_t n = count();
    const std::int64_t blocks = (n + (1 << blockbits) - 1) >> blockbits;
    tree_.assign(static_cast<std::size_t>(blocks + 1), 0);
    total_ = 0;
    for (std::int64_t line = 0; line < n; ++line) {
        const std::uint32_t r = rows(line);
        tree_[static_cast<std::size_t>((line >> blockbits) + 1)] += r;
        total_ += r;
    }
    for (std::int64_t i = 1; i <= blocks; ++i) {
        const std::int64_t up = i + (i & -i);
        if (up <= blocks)
            tree_[static_cast<std::size_t>(up)] += tree_[static_cast<std::size_t>(i)];
    }
}

void RowIndex::clear() {
    codes_.clear();
    manyrows_.clear();
    tree_.clear();
    total_ = 0;
}

std::int64_t RowIndex::before(std::int64_t n) const {
    std::int64_t sum = 0;
    for (std::int64_t b = n >> blockbits; b > 0; b -= b & -b)
        sum += tree_[static_cast<std::size_t>(b)];
    for (std::int64_t line = n >> blockbits << blockbits; line < n; ++line)
        sum += rows(line);
    return sum;
}

std::pair<std::int64_t, std::int64_t> RowIndex::find(std::int64_t r) const {
    const std::int64_t n = count();
    if (n <= 0)
        return {0, 0};
    if (r >= total_) // past the end: the last row of the last line
        return {n - 1, static_cast<std::int64_t>(rows(n - 1)) - 1};
    // The block: the tree's nodes from the highest bit down.
    const auto blocks = static_cast<std::int64_t>(tree_.size()) - 1;
    std::int64_t step = 1;
    while (step * 2 <= blocks)
        step *= 2;
    std::int64_t block = 0;
    for (; step > 0; step /= 2) {
        if (block + step <= blocks && tree_[static_cast<std::size_t>(block + step)] <= r) {
            block += step;
            r -= tree_[static_cast<std::size_t>(block)];
        }
    }
    // Then the line within it.
    for (std::int64_t line = block << blockbits; line < n; ++line) {
        const std::int64_t lines = rows(line);
        if (r < lines)
            return {line, r};
        r -= lines;
    }
    return {n - 1, static_cast<std::int64_t>(rows(n - 1)) - 1};
}
