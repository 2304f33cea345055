#include "fake_dialogs.h"

Answer FakeDialogs::confirm(const QString &message, bool withCancel)
{
    confirmations << message + (withCancel ? " [Yes/No/Cancel]" : " [Yes/No]");
    if (answers.empty())
        return Answer::Yes;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString FakeDialogs::nextFile(const FileDialogSpec &spec)
{
    fileDialogs.push_back(spec);
    if (files.empty())
        return {};
    QString file = files.front();
    files.pop_front();
    return file;
}

QString FakeDialogs::openFileName(const FileDialogSpec &spec) { return nextFile(spec); }

QString FakeDialogs::saveFileName(const FileDialogSpec &spec) { return nextFile(spec); }

void FakeDialogs::reset()
{
    errors.clear();
    confirmations.clear();
    answers.clear();
    files.clear();
    fileDialogs.clear();
}

FakeDialogs &fakeDialogs()
{
    static FakeDialogs instance;
    return instance;
}
