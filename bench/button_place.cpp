// Prints where on the screen the UDP panel's "Připojit" button lies once the
// main window has read the given settings file, so that a script can click
// it in the real program as a user would. Run on the same display and with
// the same file as the program.
#include "forms.h"
#include "main_window.h"

#include <QApplication>
#include <QPushButton>

#include <cstdio>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SETTINGS.ini\n", argv[0]);
        return 2;
    }
    createforms();
    Form1->settingsfile = QString::fromLocal8Bit(argv[1]);
    Form1->loadsettings();
    Form1->show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    const QPushButton *button = Form1->Button_UDP_On;
    const QPoint centre = button->mapToGlobal(button->rect().center());
    std::printf("%d %d %s\n", centre.x(), centre.y(), button->isVisible() ? "visible" : "hidden");
    destroyforms();
    return 0;
}
