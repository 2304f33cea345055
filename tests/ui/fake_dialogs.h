#pragma once

#include "dialogs.h"

#include <QStringList>
#include <deque>
#include <functional>

// Answers every box and file dialog without blocking, and records what the
// program asked.
class FakeDialogs : public Dialogs {
public:
    QStringList errors;
    QStringList confirmations;
    std::deque<Answer> answers;               // next answers to confirmations; Yes when empty
    std::deque<QString> files;                // next chosen files; empty text = cancelled
    std::vector<FileDialogSetup> fileDialogs; // what each file dialog was given

    // Runs while an error box would be up.
    std::function<void()> whileerror;

    void showError(const QString &message) override {
        errors << message;
        if (whileerror)
            whileerror();
    }
    Answer confirm(const QString &message, bool withCancel) override;
    QString openFileName(const FileDialogSetup &setup) override;
    QString saveFileName(const FileDialogSetup &setup) override;

    void reset();

private:
    QString nextFile(const FileDialogSetup &setup);
};

// The fake installed for every test of the window tests.
FakeDialogs &fakeDialogs();
