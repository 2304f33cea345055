#pragma once

// Runs the program with its windows until the main window closes or a
// signal ends it; returns the exit status. The QApplication must exist.
int runwindows();
