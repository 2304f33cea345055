#pragma once

class QWidget;

// SIGTERM and SIGINT (a session that ends, Ctrl+C in a terminal) close the
// window as its close box does, on the GUI thread: the links are closed and
// the settings saved. A close that is abandoned (a save that fails) keeps
// the program running, as it would for the close box.
void closeonsignals(QWidget *window);
