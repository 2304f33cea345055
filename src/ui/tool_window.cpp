#include "tool_window.h"

#include <QLayout>
#include <QWidget>

void maketoolwindow(QWidget *window, const QString &instanceName, const QString &caption) {
    window->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(instanceName);
    window->setWindowTitle(caption);
    window->setFont(QFont("MS Sans Serif", 8));
}

void letsizefree(QWidget *window) {
    if (QLayout *layout = window->layout())
        layout->setSizeConstraint(QLayout::SetNoConstraint);
    window->setMinimumWidth(0);
}

void showwindow(QWidget *window) {
    window->show();
    window->raise();
    window->activateWindow();
}
