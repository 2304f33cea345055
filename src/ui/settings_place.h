#pragma once

#include <QString>
#include <QStringList>

// Where the settings file lives. A program run from a folder of its own (a
// build folder, a portable copy) keeps "default.ini" beside its executable;
// an installed one keeps it in the user's configuration folder.

// The folder "krovan" in the user's configuration folder: $XDG_CONFIG_HOME,
// or ~/.config when that is unset or not an absolute path.
QString userconfigfolder(const QString &xdgconfighome, const QString &home);

// The settings file for an executable in `exedir`: beside it when the program
// may write there, else "default.ini" in `configfolder`.
QString settingsplace(const QString &exedir, bool exedirwritable, const QString &configfolder);

// The folders a package or `cmake --install` puts the executable in. The
// program never writes there, not even when run by root.
QStringList installedfolders();

// True when `exedir` is the program's own folder to write in.
bool ownsfolder(const QString &exedir);

// The settings file of the running program.
QString defaultsettingsfile();

// Creates the folder of `file` when it is missing (the user's configuration
// folder before its first save). A failure is left to the save to report.
void makesettingsfolder(const QString &file);
