#pragma once

#include <QTimer>

// The repeat timer of a macro row. It may be enabled with a period of 0 or
// below, and then reads as enabled but never fires: a Qt timer of 0 ms would
// fire at every pass of the event loop instead.
class RepeatTimer : public QTimer {
public:
    using QTimer::QTimer;

    bool enabled() const { return enabled_; }
    int period() const { return period_; }

    void setEnabled(bool enabled);
    // Milliseconds; a running timer starts its new period at once.
    void setPeriod(int period);
    // A held timer does not fire, whatever it is set to; released, it runs
    // as set.
    void hold(bool held);

private:
    void apply();

    bool enabled_ = false;
    bool held_ = false;
    int period_ = 0;
};
