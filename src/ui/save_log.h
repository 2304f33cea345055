#pragma once

class LogView;

// Saves one of the three logs as Rich Text Format through the main window's
// one SaveDialog_data, which remembers the name last chosen in any of them.
// An existing file is replaced only after the user confirms; a file that
// cannot be written throws KrovanError naming it and the reason.
void savelog(LogView *log);
