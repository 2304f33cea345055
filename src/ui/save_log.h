#pragma once

class LogView;
class QString;

// Saves one of the three logs as Rich Text Format through the main window's
// one SaveDialog_data, which remembers the name last chosen in any of them.
// An existing file is replaced only after the user confirms; a file that
// cannot be written throws KrovanError naming it and the reason.
void savelog(LogView *log);

// Makes a state record when the log's text has to go on in memory (its
// spool file could not be made or written), saying why.
void notespoolfailure(LogView *log, const QString &caption);
