#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

// Values for a few lines of a log, by line number, in order: what does not
// fit a line's byte in the dense per-line arrays (a long line's length, a
// line rewritten elsewhere). Lines are mostly added at the end, where
// setting a value is O(1); edits move the numbers after them.
template <class T> class LineMap {
public:
    const T *find(std::int64_t line) const {
        const auto it = lowerbound(line);
        return it != items_.end() && it->first == line ? &it->second : nullptr;
    }
    void set(std::int64_t line, const T &value) {
        if (items_.empty() || items_.back().first < line) {
            items_.emplace_back(line, value);
            return;
        }
        const auto it = lowerbound(line);
        if (it != items_.end() && it->first == line)
            it->second = value;
        else
            items_.emplace(it, line, value);
    }
    void erase(std::int64_t line) { erase(line, line + 1); }
    // Removes the lines [from, to).
    void erase(std::int64_t from, std::int64_t to) {
        items_.erase(lowerbound(from), lowerbound(to));
    }
    // Moves every line from `from` on by delta (lines were inserted or
    // removed before them).
    void shift(std::int64_t from, std::int64_t delta) {
        for (auto it = lowerbound(from); it != items_.end(); ++it)
            it->first += delta;
    }
    void clear() { items_ = {}; }
    std::size_t size() const { return items_.size(); }
    // Adds the values of lines not held yet, given in order.
    void merge(std::vector<std::pair<std::int64_t, T>> &&more) {
        items_.insert(items_.end(), more.begin(), more.end());
        std::inplace_merge(items_.begin(), items_.end() - static_cast<std::ptrdiff_t>(more.size()),
                           items_.end(),
                           [](const auto &a, const auto &b) { return a.first < b.first; });
    }

private:
    using Items = std::vector<std::pair<std::int64_t, T>>;
    typename Items::iterator lowerbound(std::int64_t line) {
        return std::lower_bound(items_.begin(), items_.end(), line,
                                [](const auto &item, std::int64_t l) { return item.first < l; });
    }
    typename Items::const_iterator lowerbound(std::int64_t line) const {
        return std::lower_bound(items_.begin(), items_.end(), line,
                                [](const auto &item, std::int64_t l) { return item.first < l; });
    }
    Items items_;
};
