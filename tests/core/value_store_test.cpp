// The plot's point store against a plain scan of the same points.
#include "value_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

std::vector<ValueStore::Column> scanned(const std::vector<ValueStore::Point> &points,
                                        std::int64_t from, std::int64_t to, int count) {
    std::vector<ValueStore::Column> result(static_cast<std::size_t>(count));
    const double width = static_cast<double>(to - from) / count;
    for (const ValueStore::Point &p : points) {
        if (p.time < from || p.time >= to)
            continue;
        // The column whose end is the first one past the point.
        int c = std::min(count - 1, static_cast<int>((p.time - from) / width));
        while (c > 0 && p.time < from + static_cast<std::int64_t>(width * c))
            --c;
        while (c + 1 < count && p.time >= from + static_cast<std::int64_t>(width * (c + 1)))
            ++c;
        ValueStore::Column &column = result[static_cast<std::size_t>(c)];
        column = column.any ? ValueStore::Column{std::min(column.min, p.value),
                                                 std::max(column.max, p.value), true}
                            : ValueStore::Column{p.value, p.value, true};
    }
    return result;
}

TEST(ValueStore, EveryColumnHoldsTheExtremesAPlainScanFinds) {
    std::mt19937 random(42);
    ValueStore store;
    std::vector<ValueStore::Point> points;
    std::int64_t time = 1'700'000'000'000;
    for (int i = 0; i < 30000; ++i) {
        // Bursts at one millisecond, pauses, a gap wider than a block's
        // offsets reach, and a time that goes back (taken as the last).
        const int step = static_cast<int>(random() % 100);
        time += i == 20000 ? 5'000'000'000 : step < 40 ? 0 : step < 95 ? step : 1000;
        const std::int64_t given = i == 12345 ? time - 50 : time;
        const float value = static_cast<float>(static_cast<int>(random() % 2001) - 1000) / 8;
        store.append(given, value);
        points.push_back({time, value});
    }
    ASSERT_EQ(store.size(), points.size());
    EXPECT_EQ(store.at(12345).time, points[12345].time) << "no earlier than the last";
    EXPECT_EQ(*store.first(), points.front().time);
    EXPECT_EQ(*store.last(), points.back().time);
    for (int round = 0; round < 200; ++round) {
        const std::int64_t a = points[random() % points.size()].time - 3 + random() % 7;
        const std::int64_t b = points[random() % points.size()].time + 1;
        const std::int64_t from = std::min(a, b), to = std::max(a, b) + 1;
        const int count = 1 + static_cast<int>(random() % 700);
        const auto got = store.columns(from, to, count);
        const auto want = scanned(points, from, to, count);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t c = 0; c < got.size(); ++c) {
            ASSERT_EQ(got[c].any, want[c].any) << round << " column " << c;
            if (want[c].any) {
                ASSERT_EQ(got[c].min, want[c].min) << round << " column " << c;
                ASSERT_EQ(got[c].max, want[c].max) << round << " column " << c;
            }
        }
    }
    EXPECT_LE(store.memory(), store.size() * 8 + 64 * 1024) << "at most 8 bytes a point";
    EXPECT_TRUE(store.columns(0, 10, 5).size() == 5 && !store.columns(0, 10, 5)[0].any);
}

} // namespace
