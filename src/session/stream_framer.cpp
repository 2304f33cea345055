#include "stream_framer.h"

#include <algorithm>

StreamFramer::StreamFramer(QObject *parent) : QObject(parent) {
    timer_.setObjectName("Timer_rx");
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (guard)
            guard([this] { tick(); });
    });
    timer_.start();
}

void StreamFramer::feed(std::string_view bytes) {
    buffer_.feed(bytes);
    if (buffer_.dueatlimit() == 0 || busy_ || !guard)
        return;
    // A failure ends the loop; the bytes wait for the next tick.
    guard([this] {
        while (const std::size_t n = busy_ ? 0 : buffer_.dueatlimit())
            pass(n);
    });
}

void StreamFramer::tick() {
    if (busy_)
        return;
    if (const std::size_t n = buffer_.tick())
        pass(n);
}

void StreamFramer::flush() {
    while (!busy_ && !buffer_.empty())
        pass(std::min(buffer_.size(), GapFramer::limit));
}

void StreamFramer::pass(std::size_t n) {
    busy_ = true;
    struct Lower {
        bool &flag;
        ~Lower() { flag = false; }
    } lower{busy_};
    // A failing hand-on throws past here: the bytes stay and come again.
    handon(std::string(buffer_.front(n)));
    buffer_.handedon(n);
}
