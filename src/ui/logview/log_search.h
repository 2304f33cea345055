#pragma once

#include "line_matcher.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class LogStore;

// Finds the lines of a log that match, on threads of their own (one per
// core), a batch of lines at a time, while the log goes on growing: lines
// added meanwhile are searched too. No line is searched on the owner's
// thread, so no expression can hold it. Which lines matched is kept as one
// bit a line; the count grows as the search goes.
class LogSearch : public QObject {
    Q_OBJECT
public:
    explicit LogSearch(const LogStore &store, QObject *parent = nullptr);
    ~LogSearch() override;

    // Looks for what the matcher finds, from the first line.
    void start(std::shared_ptr<const LineMatcher> matcher);
    // Stops and forgets what was found.
    void stop();
    // The log changed: lines were added or the last one grew (cheap when
    // nothing did) ...
    void grown();
    // ... or lines were edited or cleared: the search starts again.
    void restart();

    // The matcher, or null while nothing is looked for.
    const LineMatcher *matcher() const { return matcher_.get(); }
    // The lines found so far.
    std::int64_t found() const;
    // The lines on which the expression hit PCRE2's limits (counted as not
    // matching).
    std::int64_t toocomplex() const;
    // Whether lines remain to be looked at.
    bool searching() const;
    // The first line after `after` that matched, or -1.
    std::int64_t nextline(std::int64_t after) const;
    // The last line before `before` that matched, or -1.
    std::int64_t previousline(std::int64_t before) const;
    // Whether a line in [from, to) matched.
    bool anyin(std::int64_t from, std::int64_t to) const;

signals:
    // Lines were searched: coalesced, from the event loop.
    void progressed();

private:
    void work(std::shared_ptr<const LineMatcher> matcher);
    void mark(const std::vector<std::int64_t> &lines, const std::vector<std::int64_t> &complex);
    void unmark(std::int64_t line);
    void notify();
    void join();

    const LogStore &store_;
    std::shared_ptr<const LineMatcher> matcher_;

    // What remains: lines [next_, limit_), taken by the workers in batches.
    mutable std::mutex lock_;
    std::int64_t next_ = 0;
    std::int64_t limit_ = 0;
    int active_ = 0; // workers running
    std::vector<std::uint64_t> bits_;
    std::vector<std::uint64_t> complexbits_; // the lines too complex
    std::int64_t found_ = 0;
    std::int64_t complex_ = 0;
    std::uint64_t lastlength_ = 0; // of the last line when it was searched

    std::atomic<bool> stopping_{false};
    std::atomic<bool> notifying_{false};
    std::vector<std::thread> workers_;
};
