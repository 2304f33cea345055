#include "value_store.h"

#include <algorithm>
#include <limits>

void ValueStore::append(std::int64_t time, float value) {
    if (!blocks_.empty()) {
        const Block &tail = blocks_.back();
        time = std::max(time, tail.time(tail.offsets.size() - 1));
    }
    constexpr std::int64_t widest = std::numeric_limits<std::uint16_t>::max();
    if (blocks_.empty() || blocks_.back().offsets.size() == blockpoints ||
        time - blocks_.back().base > widest)
        openblock(time, value);
    Block &block = blocks_.back();
    if (block.offsets.size() % chunkpoints == 0)
        block.chunks.push_back({value, value});
    block.offsets.push_back(static_cast<std::uint16_t>(time - block.base));
    block.values.push_back(value);
    Range &chunk = block.chunks.back();
    chunk = {std::min(chunk.min, value), std::max(chunk.max, value)};
    block.all = {std::min(block.all.min, value), std::max(block.all.max, value)};
    ++size_;
}

void ValueStore::openblock(std::int64_t time, float value) {
    if (!blocks_.empty()) {
        Block &closed = blocks_.back();
        closed.offsets.shrink_to_fit();
        closed.values.shrink_to_fit();
        closed.chunks.shrink_to_fit();
    }
    Block block;
    block.base = time;
    block.start = size_;
    block.offsets.reserve(blockpoints);
    block.values.reserve(blockpoints);
    block.chunks.reserve(blockpoints / chunkpoints);
    block.all = {value, value};
    blocks_.push_back(std::move(block));
}

std::optional<std::int64_t> ValueStore::first() const {
    if (blocks_.empty())
        return std::nullopt;
    return blocks_.front().base;
}

std::optional<std::int64_t> ValueStore::last() const {
    if (blocks_.empty())
        return std::nullopt;
    const Block &tail = blocks_.back();
    return tail.time(tail.offsets.size() - 1);
}

ValueStore::Point ValueStore::at(std::size_t index) const {
    // Blocks close early at a pause, so the index is looked up.
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                        [](std::size_t i, const Block &b) { return i < b.start; });
    const Block &block = *(after - 1);
    const std::size_t i = index - block.start;
    return {block.time(i), block.values[i]};
}

std::size_t ValueStore::memory() const {
    std::size_t bytes = blocks_.capacity() * sizeof(Block);
    for (const Block &block : blocks_)
        bytes += block.offsets.capacity() * sizeof(std::uint16_t) +
                 block.values.capacity() * sizeof(float) + block.chunks.capacity() * sizeof(Range);
    return bytes;
}

void ValueStore::widen(Column &column, const Range &range) {
    if (!column.any) {
        column = {range.min, range.max, true};
        return;
    }
    column.min = std::min(column.min, range.min);
    column.max = std::max(column.max, range.max);
}

void ValueStore::widen(Column &column, const Block &block, std::size_t begin, std::size_t end) {
    if (begin == 0 && end == block.offsets.size())
        return widen(column, block.all);
    std::size_t i = begin;
    while (i < end) {
        // A whole chunk from its summary, the rest point by point.
        if (i % chunkpoints == 0 && i + chunkpoints <= end) {
            widen(column, block.chunks[i / chunkpoints]);
            i += chunkpoints;
            continue;
        }
        widen(column, Range{block.values[i], block.values[i]});
        ++i;
    }
}

std::size_t ValueStore::lowerbound(const Block &block, std::int64_t time) {
    if (time <= block.base)
        return 0;
    const auto offset = static_cast<std::uint64_t>(time - block.base);
    if (offset > std::numeric_limits<std::uint16_t>::max())
        return block.offsets.size();
    return static_cast<std::size_t>(std::lower_bound(block.offsets.begin(), block.offsets.end(),
                                                     static_cast<std::uint16_t>(offset)) -
                                    block.offsets.begin());
}

std::vector<ValueStore::Column> ValueStore::columns(std::int64_t from, std::int64_t to,
                                                    int count) const {
    std::vector<Column> result(static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0 || to <= from || blocks_.empty())
        return result;
    const double width = static_cast<double>(to - from) / count;
    // The first block that may hold a time at or after `from`.
    auto block = std::upper_bound(blocks_.begin(), blocks_.end(), from,
                                  [](std::int64_t t, const Block &b) { return t < b.base; });
    if (block != blocks_.begin())
        --block;
    std::size_t i = lowerbound(*block, from);
    for (int c = 0; c < count && block != blocks_.end(); ++c) {
        const std::int64_t end =
            c + 1 == count ? to : from + static_cast<std::int64_t>(width * (c + 1));
        Column &column = result[static_cast<std::size_t>(c)];
        // Every point before `end`, block by block.
        while (block != blocks_.end()) {
            const std::size_t stop = lowerbound(*block, end);
            if (stop > i)
                widen(column, *block, i, stop);
            if (stop < block->offsets.size()) {
                i = stop;
                break;
            }
            ++block;
            i = 0;
        }
    }
    return result;
}
