#pragma once

// The dialogs seam for benchmarks: errors go to stderr and are counted, every
// question is answered "No" and no file is ever chosen.
#include "dialogs.h"

#include <cstdio>

class SilentDialogs : public Dialogs {
public:
    int errors = 0;
    void showError(const QString &message) override {
        ++errors;
        std::fprintf(stderr, "error: %s\n", qPrintable(message));
    }
    Answer confirm(const QString &, bool) override { return Answer::No; }
    QString openFileName(const FileDialogSetup &) override { return {}; }
    QString saveFileName(const FileDialogSetup &) override { return {}; }
};
