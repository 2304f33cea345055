#include "headless_run.h"
#include "windows_run.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int status = 0;
    switch (runmode(arguments, status)) {
    case RunMode::Answered:
        return status;
    case RunMode::Headless: {
        // No windowing platform: the run needs no display.
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
