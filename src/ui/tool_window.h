#pragma once

#include <QString>

class QWidget;

// Gives a window the sizeable tool-window frame, its instance name, its
// caption and the program's default font.
void maketoolwindow(QWidget *window, const QString &instanceName, const QString &caption);

// Lets a window take any size its settings give it: its controls are then
// clipped rather than widening the window.
void letsizefree(QWidget *window);

// Makes a window visible and brings it to the front; position, size and
// contents stay as they are.
void showwindow(QWidget *window);
