#pragma once

#include <QTimer>

// A link's pass of reading, run from the event loop when asked for: never
// inside the notification that asked (a handler of the bytes may wait for
// a write, and Qt does not notify again from inside itself), and not while
// paused, when the line's or the connection's own flow control holds the
// peer back.
class ReadPass {
public:
    template <class Pass> ReadPass(QObject *owner, Pass pass) {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, owner, pass);
    }

    void request() {
        if (!paused_ && !timer_.isActive())
            timer_.start();
    }
    // Resumed, it runs once to take what waited meanwhile.
    void setpaused(bool paused) {
        paused_ = paused;
        if (paused_)
            timer_.stop();
        else
            request();
    }
    bool paused() const { return paused_; }

private:
    QTimer timer_;
    bool paused_ = false;
};
