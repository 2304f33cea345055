#pragma once

#include <QString>

// What a file dialog is asked to show; the owner keeps it between runs so
// that a dialog offers the name chosen last time.
struct FileDialogSetup {
    QString filter;         // "Description|*.ext", as the program writes it
    QString defaultExt;     // appended when the user types a name without one
    QString initialDir;     // "." for the current directory, empty for none
    QString fileName;       // initial name; updated with the last name chosen
    bool mustExist = false; // an open dialog may accept a missing file
    QString title;          // the dialog's own title when empty
};

enum class Answer { Yes, No, Cancel };

// Every modal box the program shows goes through this seam, so that tests
// can answer them without blocking on a nested event loop.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The standard error box with the message as its whole text.
    virtual void showError(const QString &message) = 0;
    // A confirmation box titled "Confirm"; Cancel is offered only when asked.
    virtual Answer confirm(const QString &message, bool withCancel) = 0;
    // Return the chosen full path, or an empty text when cancelled.
    virtual QString openFileName(const FileDialogSetup &setup) = 0;
    virtual QString saveFileName(const FileDialogSetup &setup) = 0;
};

// The dialogs in use; the Qt implementation unless a test installed its own.
Dialogs &dialogs();
// Install a replacement (not owned); nullptr restores the Qt implementation.
void setDialogs(Dialogs *replacement);

// A file dialog owned by a window: runs through the seam and remembers the
// name chosen, as one shared dialog object would.
class FileDialog {
public:
    explicit FileDialog(FileDialogSetup setup) : setup_(std::move(setup)) {}
    // Empty when cancelled.
    QString executeOpen();
    QString executeSave();
    const FileDialogSetup &setup() const { return setup_; }

private:
    QString remember(const QString &chosen);
    FileDialogSetup setup_;
};
