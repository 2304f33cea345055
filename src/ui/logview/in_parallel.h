#pragma once

#include <cstdint>
#include <functional>

// Runs work(from, to) over [0, n) in parts on the machine's cores, the
// calling thread taking one, and returns when all are done. An exception
// from any part is thrown here.
void inparallel(std::int64_t n, const std::function<void(std::int64_t, std::int64_t)> &work);
