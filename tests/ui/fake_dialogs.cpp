#include "fake_dialogs.h"

Answer FakeDialogs::confirm(const QString &message, bool withCancel) {
    confirmations << message + (withCancel ? " [Yes/No/Cancel]" : " [Yes/No]");
    if (answers.empty())
        return Answer::Yes;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString FakeDialogs::nextFile(const FileDialogSetup &setup) {
    fileDialogs.push_back(setup);
    if (files.empty())
        return {};
    QString file = files.front();
    files.pop_front();
    return file;
}

QString FakeDialogs::openFileName(const FileDialogSetup &setup) {
    return nextFile(setup);
}

QString FakeDialogs::saveFileName(const FileDialogSetup &setup) {
    return nextFile(setup);
}

void FakeDialogs::reset() {
    errors.clear();
    confirmations.clear();
    answers.clear();
    files.clear();
    fileDialogs.clear();
    whileerror = nullptr;
}

FakeDialogs &fakeDialogs() {
    static FakeDialogs instance;
    return instance;
}
