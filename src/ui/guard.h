#pragma once

#include <functional>

// Runs an event handler so that no exception crosses Qt's event loop: a
// failure is shown in the standard error box with its message, and the
// program carries on. While one error box is open, further failures (a
// repeating timer, say) are not stacked on top of it.
void guarded(const std::function<void()> &handler);
