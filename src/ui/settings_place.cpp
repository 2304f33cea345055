#include "settings_place.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

#ifndef KROVAN_INSTALLED_FOLDERS
#define KROVAN_INSTALLED_FOLDERS "/usr/bin"
#endif

QString userconfigfolder(const QString &xdgconfighome, const QString &home) {
    const QString base = QDir::isAbsolutePath(xdgconfighome) ? xdgconfighome : home + "/.config";
    return QDir::cleanPath(base + "/krovan");
}

QString settingsplace(const QString &exedir, bool exedirwritable, const QString &configfolder) {
    return (exedirwritable ? exedir : configfolder) + "/default.ini";
}

QStringList installedfolders() {
    QStringList folders;
    for (const QString &folder : QString(KROVAN_INSTALLED_FOLDERS).split(':', Qt::SkipEmptyParts))
        folders << QDir::cleanPath(folder);
    folders.removeDuplicates();
    return folders;
}

bool ownsfolder(const QString &exedir) {
    const QString canonical = QFileInfo(exedir).canonicalFilePath();
    for (const QString &folder : installedfolders())
        if (QDir::cleanPath(exedir) == folder ||
            (!canonical.isEmpty() && canonical == QFileInfo(folder).canonicalFilePath()))
            return false;
    return ::access(QFile::encodeName(exedir).constData(), W_OK) == 0;
}

QString defaultsettingsfile() {
    const QString exedir = QDir(QCoreApplication::applicationDirPath()).absolutePath();
    const QString folder =
        userconfigfolder(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
    return settingsplace(exedir, ownsfolder(exedir), folder);
}

void makesettingsfolder(const QString &file) {
    const QString folder = QFileInfo(file).absolutePath();
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
}
