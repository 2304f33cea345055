#include "forms.h"
#include "main_window.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName("Krovan");
    createforms();
    Form1->show();
    const int code = app.exec();
    destroyforms();
    return code;
}
