#pragma once

// The JUnit XML report of a script's run, as CI servers read it: one
// testsuite named after the script's file, a testcase per check (with a
// failure for each that failed) and one named after the script carrying
// its error, if it had one (it did not load, its link did not open, it
// raised one or was stopped).

#include <QString>

class ScriptRun;

// Writes the report; throws KrovanError "PATH: reason" (the system's)
// when the file cannot be written.
void writejunitreport(const QString &path, const ScriptRun &run);
