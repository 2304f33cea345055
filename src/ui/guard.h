#pragma once

#include <functional>

class QString;

// Runs an event handler so that no exception crosses Qt's event loop: a
// failure is shown in the standard error box with its message, and the
// program carries on. While one error box is open, further failures (a
// repeating timer, say) are not stacked on top of it.
void guarded(const std::function<void()> &handler);

// The error box of a failure, unless one is open already.
void showfailure(const QString &message);
