#include "fake_dialogs.h"
#include "log_view.h"
#include "serial_link.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// One application for all window tests; every box goes to the fake.
int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setDialogs(&fakeDialogs());
    // Every shown main window detects ports. Through the real table, tests
    // running side by side would open each other's devices (and this
    // machine's), so a window sees a port only where a test gives it one.
    SerialLink::devicetable = [](int) { return QString(); };
    // Every log keeps its text in a spool file, as in the program, in a
    // folder of this run's own.
    QTemporaryDir spools;
    LogView::spoolfolder = spools.path();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
