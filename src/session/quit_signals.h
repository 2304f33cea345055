#pragma once

#include <functional>

class QObject;

// SIGTERM and SIGINT (a session that ends, Ctrl+C in a terminal) run
// `onsignal` on the GUI thread, whenever they arrive: a signal caught before
// the event loop runs is handled as soon as it does. `owner` holds the
// notifier.
void closeonsignals(QObject *owner, std::function<void()> onsignal);
