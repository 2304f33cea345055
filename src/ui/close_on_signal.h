#pragma once

class QWidget;

// Makes SIGTERM and SIGINT close `window` on the GUI thread, as its close
// box does: the links are closed and the settings saved; a close that is
// abandoned leaves the program running. Call once, after the application
// object exists.
void closeonsignals(QWidget *window);
