#include "guard.h"

#include "dialogs.h"

#include <QString>
#include <exception>

namespace {

bool errorBoxOpen = false;

void report(const char *what) {
    // Every message is UTF-8: where one quotes typed bytes, it converted them.
    showfailure(QString::fromUtf8(what));
}

} // namespace

void showfailure(const QString &message) {
    if (errorBoxOpen)
        return;
    errorBoxOpen = true;
    dialogs().showError(message);
    errorBoxOpen = false;
}

void guarded(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const std::exception &e) {
        report(e.what());
    } catch (...) {
        report("Unknown error");
    }
}
