#include "log_search.h"

#include "log_store.h"

#include <algorithm>
#include <bit>
#include <string>

namespace {

// A worker takes at most this many lines at a time, and at least the
// smaller share, so that a few slow lines are shared out too.
constexpr std::int64_t batch = 1 << 14;
constexpr std::int64_t smallbatch = 1 << 8;

bool bit(const std::vector<std::uint64_t> &bits, std::int64_t n) {
    return bits[static_cast<std::size_t>(n >> 6)] >> (n & 63) & 1;
}

} // namespace

LogSearch::LogSearch(const LogStore &store, QObject *parent) : QObject(parent), store_(store) {}

LogSearch::~LogSearch() {
    join();
}

void LogSearch::join() {
    stopping_ = true;
    for (std::thread &worker : workers_)
        worker.join();
    workers_.clear();
    stopping_ = false;
}

void LogSearch::stop() {
    join();
    const std::lock_guard<std::mutex> held(lock_);
    matcher_.reset();
    bits_ = {};
    complexbits_ = {};
    next_ = limit_ = 0;
    found_ = 0;
    complex_ = 0;
    active_ = 0;
}

void LogSearch::start(std::shared_ptr<const LineMatcher> matcher) {
    stop();
    if (!matcher || !matcher->usable())
        return;
    matcher_ = std::move(matcher);
    grown();
    notify(); // the count starts again, also where no line is left
}

void LogSearch::restart() {
    if (matcher_)
        start(matcher_);
}

std::int64_t LogSearch::found() const {
    const std::lock_guard<std::mutex> held(lock_);
    return found_;
}

std::int64_t LogSearch::toocomplex() const {
    const std::lock_guard<std::mutex> held(lock_);
    return complex_;
}

bool LogSearch::searching() const {
    const std::lock_guard<std::mutex> held(lock_);
    return next_ < limit_ || active_ > 0;
}

void LogSearch::grown() {
    if (!matcher_)
        return;
    const std::int64_t count = store_.count();
    std::int64_t from = 0;
    bool regrown = false;
    {
        const std::lock_guard<std::mutex> held(lock_);
        from = limit_;
        // The last line searched may have grown since (a data window's line
        // runs on): it is searched again.
        regrown = limit_ > 0 && active_ == 0 && next_ >= limit_ &&
                  store_.length(limit_ - 1) != lastlength_;
        if (regrown)
            --from;
        if (from >= count)
            return;
        bits_.resize(static_cast<std::size_t>((count + 63) >> 6), 0);
        complexbits_.resize(bits_.size(), 0);
        limit_ = count;
        if (active_ > 0)
            return; // the workers take the new lines too
        next_ = from;
    }
    if (regrown)
        unmark(from);
    join(); // the workers that have finished
    const auto shares = static_cast<std::size_t>((count - from + smallbatch - 1) / smallbatch);
    const std::size_t threads = std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency(), shares), 1, 4);
    {
        const std::lock_guard<std::mutex> held(lock_);
        active_ = static_cast<int>(threads);
    }
    for (std::size_t i = 0; i < threads; ++i)
        workers_.emplace_back([this, matcher = matcher_] { work(matcher); });
}

void LogSearch::work(std::shared_ptr<const LineMatcher> matcher) {
    LineMatcher::Scratch scratch(*matcher);
    std::vector<std::int64_t> lines, complex;
    for (;;) {
        std::int64_t from = 0, to = 0;
        {
            const std::lock_guard<std::mutex> held(lock_);
            if (stopping_ || next_ >= limit_) {
                --active_;
                break;
            }
            from = next_;
            const std::int64_t share = (limit_ - from) / std::max(active_, 1);
            to = std::min(limit_, from + std::clamp(share, smallbatch, batch));
            next_ = to;
        }
        lines.clear();
        complex.clear();
        std::uint64_t lastlength = 0;
        store_.readlines(
            from, to, [](std::int64_t) { return true; },
            [&](std::int64_t n, const char *bytes, std::size_t size) {
                if (stopping_)
                    return;
                if (const LineMatcher::Match match = matcher->findstored(bytes, size, scratch))
                    lines.push_back(n);
                else if (match.toocomplex)
                    complex.push_back(n);
                lastlength = size;
            });
        if (stopping_)
            continue; // and leave at the top
        {
            const std::lock_guard<std::mutex> held(lock_);
            if (to == limit_)
                lastlength_ = lastlength;
        }
        mark(lines, complex);
        notify();
    }
    notify();
}

namespace {

// Sets the lines' bits, counting those that were not set.
void setbits(std::vector<std::uint64_t> &bits, const std::vector<std::int64_t> &lines,
             std::int64_t &count) {
    for (const std::int64_t n : lines) {
        std::uint64_t &word = bits[static_cast<std::size_t>(n >> 6)];
        const std::uint64_t one = std::uint64_t(1) << (n & 63);
        count += (word & one) == 0;
        word |= one;
    }
}

void clearbit(std::vector<std::uint64_t> &bits, std::int64_t n, std::int64_t &count) {
    std::uint64_t &word = bits[static_cast<std::size_t>(n >> 6)];
    const std::uint64_t one = std::uint64_t(1) << (n & 63);
    count -= (word & one) != 0;
    word &= ~one;
}

} // namespace

void LogSearch::mark(const std::vector<std::int64_t> &lines,
                     const std::vector<std::int64_t> &complex) {
    const std::lock_guard<std::mutex> held(lock_);
    setbits(bits_, lines, found_);
    setbits(complexbits_, complex, complex_);
}

void LogSearch::unmark(std::int64_t n) {
    const std::lock_guard<std::mutex> held(lock_);
    clearbit(bits_, n, found_);
    clearbit(complexbits_, n, complex_);
}

void LogSearch::notify() {
    if (notifying_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            notifying_ = false;
            emit progressed();
        },
        Qt::QueuedConnection);
}

std::int64_t LogSearch::nextline(std::int64_t after) const {
    const std::lock_guard<std::mutex> held(lock_);
    const auto end = static_cast<std::int64_t>(bits_.size()) * 64;
    std::int64_t n = std::max<std::int64_t>(after + 1, 0);
    while (n < end) {
        const std::uint64_t word = bits_[static_cast<std::size_t>(n >> 6)] >> (n & 63);
        if (word != 0)
            return n + std::countr_zero(word);
        n = (n | 63) + 1;
    }
    return -1;
}

std::int64_t LogSearch::previousline(std::int64_t before) const {
    const std::lock_guard<std::mutex> held(lock_);
    std::int64_t n =
        std::min<std::int64_t>(before, static_cast<std::int64_t>(bits_.size()) * 64) - 1;
    while (n >= 0) {
        const int shift = 63 - static_cast<int>(n & 63);
        const std::uint64_t word = bits_[static_cast<std::size_t>(n >> 6)] << shift;
        if (word != 0)
            return n - std::countl_zero(word);
        n = (n & ~std::int64_t(63)) - 1;
    }
    return -1;
}

bool LogSearch::anyin(std::int64_t from, std::int64_t to) const {
    const std::lock_guard<std::mutex> held(lock_);
    to = std::min<std::int64_t>(to, static_cast<std::int64_t>(bits_.size()) * 64);
    for (std::int64_t n = std::max<std::int64_t>(from, 0); n < to;) {
        if ((n & 63) == 0 && n + 64 <= to) {
            if (bits_[static_cast<std::size_t>(n >> 6)] != 0)
                return true;
            n += 64;
            continue;
        }
        if (bit(bits_, n))
            return true;
        ++n;
    }
    return false;
}
