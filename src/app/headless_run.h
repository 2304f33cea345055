#pragma once

#include <QStringList>

// The command line of the program. Without options the windows run; with
// --headless a saved set-up runs without them; --help and --version answer
// and end.
enum class RunMode { Windows, Headless, Answered };
// Whether the arguments (argv without the program's name) ask for the
// windows; --help, --version and a bad command line are answered here
// (standard output or standard error) with `status` set.
RunMode runmode(const QStringList &arguments, int &status);

// Runs the set-up of a settings file without windows, as the headless
// options say, until a signal, --duration or a link that closes by itself;
// returns the exit status (0 ended as asked, 1 the link failed, 2 bad
// usage or a settings file that cannot be read). A QCoreApplication must
// exist.
int runheadless(const QStringList &arguments);
