// The plot's point store at the sizes of a week of values: bytes a point,
// and how long "min and max of each pixel column" takes over 10 million
// points, for a span of all of them and for the newest minute.
//   ./build/bench/value_store_bench [POINTS]
#include "value_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double medianms(const std::vector<double> &runs) {
    std::vector<double> sorted = runs;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

template <class Work> double timed(Work work) {
    std::vector<double> runs;
    for (int i = 0; i < 21; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        runs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return medianms(runs);
}

} // namespace

int main(int argc, char **argv) {
    const long points = argc > 1 ? std::atol(argv[1]) : 10'000'000;
    ValueStore store;
    // 100 points a second, a sine-like wobble with noise.
    std::int64_t time = 1'700'000'000'000;
    unsigned noise = 1;
    const auto begin = std::chrono::steady_clock::now();
    for (long i = 0; i < points; ++i) {
        noise = noise * 1103515245u + 12345u;
        store.append(time, static_cast<float>(i % 1000) / 10.0f + static_cast<float>(noise >> 28));
        time += 10;
    }
    const double appendns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - begin).count() /
        static_cast<double>(points);
    const std::int64_t first = *store.first(), last = *store.last() + 1;
    volatile float sink = 0;
    const double whole = timed([&] { sink = store.columns(first, last, 1920)[7].max; });
    const double minute = timed([&] { sink = store.columns(last - 60'000, last, 1920)[7].max; });
    std::printf("%ld points: %.2f bytes a point, %.1f ns an append; 1920 columns of all of them "
                "%.2f ms, of the newest minute %.3f ms (medians of 21)\n",
                points, static_cast<double>(store.memory()) / static_cast<double>(points), appendns,
                whole, minute);
}
