#include "in_parallel.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

void inparallel(std::int64_t n, const std::function<void(std::int64_t, std::int64_t)> &work) {
    // Below this a thread costs more than it saves.
    constexpr std::int64_t least = 1 << 16;
    const std::int64_t parts =
        std::clamp<std::int64_t>(std::min<std::int64_t>(std::thread::hardware_concurrency(), 4), 1,
                                 std::max<std::int64_t>(1, n / least));
    std::vector<std::thread> threads;
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(parts));
    auto run = [&](std::int64_t part) {
        try {
            work(n * part / parts, n * (part + 1) / parts);
        } catch (...) {
            failures[static_cast<std::size_t>(part)] = std::current_exception();
        }
    };
    for (std::int64_t part = 1; part < parts; ++part)
        threads.emplace_back(run, part);
    run(0);
    for (std::thread &thread : threads)
        thread.join();
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}
