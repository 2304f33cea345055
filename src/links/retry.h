#pragma once

#include <QTimer>

// The wait of a link that comes back: an attempt at every interval, from
// the event loop, until the link stops it (an attempt that succeeded, or
// a close).
class Retry {
public:
    template <class Attempt> Retry(QObject *owner, int intervalms, Attempt attempt) {
        timer_.setInterval(intervalms);
        QObject::connect(&timer_, &QTimer::timeout, owner, attempt);
    }

    void start() { timer_.start(); }
    void stop() { timer_.stop(); }
    bool waiting() const { return timer_.isActive(); }

private:
    QTimer timer_;
};
