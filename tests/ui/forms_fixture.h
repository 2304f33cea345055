#pragma once

#include "fake_dialogs.h"
#include "forms.h"
#include "main_window.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Readable QStrings in failure messages.
inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

// Every window test starts from freshly created windows, exactly as the
// program creates them, with the settings file in a private directory.
class FormsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    void SetUp() override {
        fakeDialogs().reset();
        createforms();
        Form1->settingsfile = dir.filePath("default.ini");
    }

    void TearDown() override {
        destroyforms();
        QApplication::processEvents();
    }

    // Shows the main window as the program does; its first activation
    // loads the settings.
    void start() {
        Form1->show();
        QApplication::setActiveWindow(Form1);
        QApplication::processEvents();
    }

    template <class T> T *find(QObject *window, const char *name) {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};
