#include "headless_run.h"
#include "windows_run.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int status = 0;
    switch (runmode(arguments, status)) {
    case RunMode::Answered:
        return status;
    case RunMode::Headless: {
        // No windowing platform: the run needs no display. Nor the GLib
        // main loop, which only windows need: Qt's own loop does less at
        // each wake-up, and an answer's round trip is shorter.
        if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
            qputenv("QT_NO_GLIB", "1");
        QCoreApplication app(argc, argv);
        app.setApplicationName("Krovan");
        return runheadless(arguments);
    }
    case RunMode::Windows:
        break;
    }
    QApplication app(argc, argv);
    app.setApplicationName("Krovan");
    return runwindows();
}
