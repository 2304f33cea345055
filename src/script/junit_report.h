#pragma once

// The JUnit XML report of a script's run, as CI servers read it: one
// testsuite named after the script's file, a testcase per check (with a
// failure for each that failed) and one named after the script carrying
// its error, if it raised one.

#include <QString>

class ScriptRun;

// Writes the report; throws KrovanError when the file cannot be written.
void writejunitreport(const QString &path, const ScriptRun &run);
