#pragma once

// The points of one plotted series, kept compactly and summarised so that a
// redraw asks "the smallest and largest value in each pixel column of a
// span" without visiting every point. Points come in time order (a time
// earlier than the last is taken as the last). A point costs about 6 bytes:
// its time as 16-bit milliseconds from its block's base (a block closes
// when the next point is more than 65 s after its base) and its value as a
// float.
// Each block of `blockpoints` points keeps its time range and the minimum
// and maximum of each run of `chunkpoints`, so that a column reads whole
// blocks, whole chunks and at most two partial chunks.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class ValueStore {
public:
    static constexpr std::size_t blockpoints = 4096;
    static constexpr std::size_t chunkpoints = 64;

    struct Column {
        float min = 0, max = 0;
        bool any = false;
    };
    struct Point {
        std::int64_t time;
        float value;
    };

    void append(std::int64_t time, float value);
    void clear() {
        blocks_.clear();
        size_ = 0;
    }
    std::size_t size() const { return size_; }
    // The earliest and latest time held (nothing when empty).
    std::optional<std::int64_t> first() const;
    std::optional<std::int64_t> last() const;
    Point at(std::size_t index) const;

    // The span [from, to) cut into `count` columns of equal time: each
    // column's smallest and largest value.
    std::vector<Column> columns(std::int64_t from, std::int64_t to, int count) const;
    // The bytes the points and their summaries take.
    std::size_t memory() const;

private:
    struct Range {
        float min, max;
    };
    struct Block {
        std::int64_t base;
        std::size_t start;                  // the index of its first point in the store
        std::vector<std::uint16_t> offsets; // times from base, non-decreasing
        std::vector<float> values;
        std::vector<Range> chunks; // one per chunkpoints points
        Range all{0, 0};
        std::int64_t time(std::size_t i) const { return base + offsets[i]; }
    };
    // Widens `column` by the points [begin, end) of a block whose times are
    // all inside it.
    static void widen(Column &column, const Block &block, std::size_t begin, std::size_t end);
    static void widen(Column &column, const Range &range);
    // The first point of the block at or after `time`.
    static std::size_t lowerbound(const Block &block, std::int64_t time);
    // Starts a block at the point (time, value), giving the closed one back
    // the room it reserved and did not fill.
    void openblock(std::int64_t time, float value);

    std::vector<Block> blocks_;
    std::size_t size_ = 0;
};
