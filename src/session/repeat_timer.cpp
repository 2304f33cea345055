#include "repeat_timer.h"

void RepeatTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    apply();
}

void RepeatTimer::setPeriod(int period) {
    period_ = period;
    apply();
}

void RepeatTimer::hold(bool held) {
    held_ = held;
    apply();
}

void RepeatTimer::apply() {
    if (held_ || !enabled_ || period_ <= 0)
        stop();
    else if (!isActive() || interval() != period_)
        start(period_);
}
