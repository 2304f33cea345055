#pragma once

// The program-wide references to the eight windows, set by createforms().
class TForm1;
class TForm_TX;
class TForm_RX_TX;
class TForm_help;
class TForm_about;
class TForm_graf;
class TForm_RX_filtr;
class TForm_rxw;
class TForm_txw;
class Session;

// The work the windows show: created first, destroyed last.
extern Session *Session1;

extern TForm1 *Form1;
extern TForm_TX *Form_TX;
extern TForm_RX_TX *Form_RX_TX;
extern TForm_help *Form_help;
extern TForm_about *Form_about;
extern TForm_graf *Form_graf;
extern TForm_RX_filtr *Form_RX_filtr;
extern TForm_rxw *Form_rxw;
extern TForm_txw *Form_txw;

// Creates the eight windows in their order (Form1 first) and sets the
// references. Windows 2 to 8 start hidden; the caller shows Form1.
void createforms();

// Destroys the windows in reverse order and clears the references, so a
// test can start again from fresh windows.
void destroyforms();
