#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

// Runs the event loop until the condition holds or the time is up; returns
// the condition.
template <class Condition> bool waitfor(Condition condition, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return condition();
}
