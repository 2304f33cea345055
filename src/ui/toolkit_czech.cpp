#include "toolkit_czech.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// The toolkit's catalogue holds its messages too ("Connection refused",
// "No such file or directory"); those are part of the program's own
// messages and stay as they are. Only the dialogs' and the controls' texts
// are taken.
class ControlTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override {
        static const char *const controls[] = {
            "QFileDialog",      "QFileSystemModel",
            "QDialogButtonBox", "QPlatformTheme",
            "QGnomeTheme",      "QMessageBox",
            "QLineEdit",        "QWidgetTextControl",
            "QScrollBar",       "QUnicodeControlCharacterMenu",
            "QInputDialog",     "QTabBar",
            "QComboBox",
        };
        const QByteArrayView name(context);
        for (const char *control : controls)
            if (name == control)
                return QTranslator::translate(context, source, disambiguation, n);
        return QString();
    }
};

} // namespace

void loadtoolkitczech() {
    static QTranslator *toolkit = nullptr;
    if (toolkit != nullptr)
        return;
    toolkit = new ControlTexts(QCoreApplication::instance());
    // Czech whatever the user's locale: the program's own texts are Czech.
    if (toolkit->load(QLocale(QLocale::Czech), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
}
