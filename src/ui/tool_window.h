#pragma once

#include <QString>

class QWidget;

// Gives a window the sizeable tool-window frame, its instance name, its
// caption and the program's default font.
void maketoolwindow(QWidget *window, const QString &instanceName, const QString &caption);

// Makes a window visible and brings it to the front; position, size and
// contents stay as they are.
void showwindow(QWidget *window);
