#include "toolkit_czech.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void loadtoolkitczech()
{
    static QTranslator *toolkit = nullptr;
    if (toolkit != nullptr)
        return;
    toolkit = new QTranslator(QCoreApplication::instance());
    // Czech whatever the user's locale: the program's own texts are Czech.
    if (toolkit->load(QLocale(QLocale::Czech), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
}
