#include "forms.h"
#include "main_window.h"
#include "quit_signals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName("Krovan");
    createforms();
    closeonsignals(Form1, [] { Form1->closeforsignal(); });
    Form1->show();
    // The first activation loads the settings; ask for it even where no
    // window manager hands out the focus.
    Form1->activateWindow();
    const int code = app.exec();
    destroyforms();
    return code;
}
