#include "guard.h"

#include "dialogs.h"
#include "failure_guard.h"

#include <QString>

namespace {

bool errorBoxOpen = false;

} // namespace

void showfailure(const QString &message) {
    if (errorBoxOpen)
        return;
    errorBoxOpen = true;
    dialogs().showError(message);
    errorBoxOpen = false;
}

void guarded(const std::function<void()> &handler) {
    guardwith(showfailure, handler);
}
