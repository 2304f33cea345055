#include "guard.h"

#include "dialogs.h"

#include <QString>
#include <QStringDecoder>
#include <exception>

#include "bytes_text.h"

namespace {

bool errorBoxOpen = false;

// Messages are UTF-8; a message that carries raw bytes of a data text
// (a conversion error quoting the piece) is shown through Windows-1250.
QString messageText(const char *what)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArray(what));
    if (!utf8.hasError())
        return text;
    return fromBytes(what);
}

void report(const char *what)
{
    if (errorBoxOpen)
        return;
    errorBoxOpen = true;
    dialogs().showError(messageText(what));
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
