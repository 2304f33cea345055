#include "log_search.h"

#include "log_store.h"

#include <algorithm>
#include <bit>
#include <string>

namespace {

// A worker takes this many lines at a time; fewer new lines than this are
// searched on the owner's thread.
constexpr std::int64_t batch = 1 << 14;

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
    scratch_.reset();
    bits_ = {};
    next_ = limit_ = 0;
    found_ = 0;
    active_ = 0;
}

void LogSearch::start(std::shared_ptr<const LineMatcher> matcher) {
    stop();
    if (!matcher || !matcher->usable())
        return;
    matcher_ = std::move(matcher);
    scratch_ = std::make_unique<LineMatcher::Scratch>(*matcher_);
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
        limit_ = count;
        if (active_ > 0)
            return; // the workers take the new lines too
        next_ = from;
    }
    if (regrown)
        unmark(from);
    if (count - from <= batch) {
        searchhere(from, count);
        return;
    }
    join();
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    {
        const std::lock_guard<std::mutex> held(lock_);
        active_ = static_cast<int>(threads);
    }
    for (std::size_t i = 0; i < threads; ++i)
        workers_.emplace_back([this, matcher = matcher_] { work(matcher); });
}

// A few new lines, on this thread, from the cache of the lines in view.
void LogSearch::searchhere(std::int64_t from, std::int64_t to) {
    std::vector<std::int64_t> lines;
    std::u16string text;
    for (std::int64_t n = from; n < to; ++n) {
        store_.text(n, text);
        if (matcher_->find(text, 0, *scratch_))
            lines.push_back(n);
    }
    {
        const std::lock_guard<std::mutex> held(lock_);
        next_ = to;
        lastlength_ = to > 0 ? store_.length(to - 1) : 0;
    }
    mark(lines);
    notify();
}

void LogSearch::work(std::shared_ptr<const LineMatcher> matcher) {
    LineMatcher::Scratch scratch(*matcher);
    std::u16string text;
    std::vector<std::int64_t> lines;
    for (;;) {
        std::int64_t from = 0, to = 0;
        {
            const std::lock_guard<std::mutex> held(lock_);
            if (stopping_ || next_ >= limit_) {
                --active_;
                break;
            }
            from = next_;
            to = std::min(limit_, from + batch);
            next_ = to;
        }
        lines.clear();
        std::uint64_t lastlength = 0;
        store_.readlines(
            from, to, [](std::int64_t) { return true; },
            [&](std::int64_t n, const char *bytes, std::size_t size) {
                if (stopping_)
                    return;
                LogStore::decode(bytes, size, text);
                if (matcher->find(text, 0, scratch))
                    lines.push_back(n);
                lastlength = size;
            });
        if (stopping_)
            continue; // and leave at the top
        {
            const std::lock_guard<std::mutex> held(lock_);
            if (to == limit_)
                lastlength_ = lastlength;
        }
        mark(lines);
        notify();
    }
    notify();
}

void LogSearch::mark(const std::vector<std::int64_t> &lines) {
    const std::lock_guard<std::mutex> held(lock_);
    for (const std::int64_t n : lines) {
        std::uint64_t &word = bits_[static_cast<std::size_t>(n >> 6)];
        const std::uint64_t one = std::uint64_t(1) << (n & 63);
        found_ += (word & one) == 0;
        word |= one;
    }
}

void LogSearch::unmark(std::int64_t n) {
    const std::lock_guard<std::mutex> held(lock_);
    std::uint64_t &word = bits_[static_cast<std::size_t>(n >> 6)];
    const std::uint64_t one = std::uint64_t(1) << (n & 63);
    found_ -= (word & one) != 0;
    word &= ~one;
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
