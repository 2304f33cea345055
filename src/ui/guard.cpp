#include "guard.h"

#include "dialogs.h"

#include <QString>
#include <exception>

namespace {

bool errorBoxOpen = false;

void report(const char *what)
{
    if (errorBoxOpen)
        return;
    errorBoxOpen = true;
    // Every message is UTF-8: where one quotes typed bytes, it converted them.
    dialogs().showError(QString::fromUtf8(what));
    errorBoxOpen = false;
}

} // namespace

void guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        report(e.what());
    } catch (...) {
        report("Unknown error");
    }
}
