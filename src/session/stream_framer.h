#pragma once

// One stream link's bytes cut into blocks: a buffer of its own and its
// timer, a block at a pause of one tick (100 ms) or at once when the buffer
// reaches its limit. A block goes to `handon`, which may throw: the block
// then stays and comes again at a later tick. A tick never starts inside a
// hand-on (an error box's loop can run the timer again).

#include "gap_framer.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <string_view>

class StreamFramer : public QObject {
    Q_OBJECT
public:
    explicit StreamFramer(QObject *parent = nullptr);

    // Takes a block on; a failure is thrown to the caller of feed, tick or
    // flush.
    std::function<void(const std::string &block)> handon;
    // Runs what feed hands on, so that a failure is reported and the bytes
    // wait for the next tick.
    std::function<void(const std::function<void()> &)> guard;

    void feed(std::string_view bytes);
    // A tick of the timer (tests call it without waiting).
    void tick();
    // A new connection: the next tick counts afresh.
    void restart() { buffer_.restart(); }
    // Hands on everything the buffer holds now (the link's end is due).
    void flush();

    std::size_t size() const { return buffer_.size(); }
    bool empty() const { return buffer_.empty(); }
    QTimer &timer() { return timer_; }

private:
    void pass(std::size_t n);

    GapFramer buffer_;
    QTimer timer_;
    bool busy_ = false;
};
