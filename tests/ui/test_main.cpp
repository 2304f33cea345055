#include "fake_dialogs.h"

#include <QApplication>
#include <gtest/gtest.h>

// One application for all window tests; every box goes to the fake.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setDialogs(&fakeDialogs());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
