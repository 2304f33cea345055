#include "tool_window.h"

#include <QWidget>

void maketoolwindow(QWidget *window, const QString &instanceName, const QString &caption)
{
    window->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(instanceName);
    window->setWindowTitle(caption);
    window->setFont(QFont("MS Sans Serif", 8));
}

void showwindow(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}
