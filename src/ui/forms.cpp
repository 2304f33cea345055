#include "forms.h"

#include "about_window.h"
#include "filter_list_window.h"
#include "graph_window.h"
#include "guard.h"
#include "help_window.h"
#include "macro_list_window.h"
#include "main_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "session.h"
#include "states_window.h"
#include "tool_window.h"
#include "toolkit_czech.h"

#include <QCheckBox>
#include <QComboBox>

Session *Session1 = nullptr;
TForm1 *Form1 = nullptr;
TForm_TX *Form_TX = nullptr;
TForm_RX_TX *Form_RX_TX = nullptr;
TForm_help *Form_help = nullptr;
TForm_about *Form_about = nullptr;
TForm_graf *Form_graf = nullptr;
TForm_RX_filtr *Form_RX_filtr = nullptr;
TForm_rxw *Form_rxw = nullptr;
TForm_txw *Form_txw = nullptr;

static void bindlogsetup();

void createforms() {
    loadtoolkitczech();
    Session1 = new Session;
    Session1->report = showfailure;
    Form1 = new TForm1;
    Form_TX = new TForm_TX;
    Form_RX_TX = new TForm_RX_TX;
    Form_help = new TForm_help;
    Form_about = new TForm_about(Form1);
    Form_RX_filtr = new TForm_RX_filtr;
    Form_rxw = new TForm_rxw;
    Form_txw = new TForm_txw;
    Form_graf = new TForm_graf;
    for (QWidget *window : std::initializer_list<QWidget *>{Form1, Form_TX, Form_RX_TX,
                                                            Form_RX_filtr, Form_rxw, Form_txw})
        letsizefree(window);
    // Closing the main window ends the program, whatever else is open.
    for (QWidget *window :
         std::initializer_list<QWidget *>{Form_TX, Form_RX_TX, Form_help, Form_about, Form_RX_filtr,
                                          Form_rxw, Form_txw, Form_graf})
        window->setAttribute(Qt::WA_QuitOnClose, false);
    bindlogsetup();
}

// The log windows' boxes and formats reach the session's set-up at once.
static void bindlogsetup() {
    Setup &setup = Session1->setup;
    const std::pair<QCheckBox *, bool *> boxes[] = {{Form_RX_TX->CheckBox_rx, &setup.show_rx},
                                                    {Form_RX_TX->CheckBox_tx, &setup.show_tx},
                                                    {Form_RX_TX->CheckBox_time, &setup.show_time},
                                                    {Form_RX_TX->CheckBox_adr, &setup.show_adr},
                                                    {Form_RX_TX->CheckBox_makro, &setup.show_makro},
                                                    {Form_RX_TX->CheckBox_hex, &setup.show_hex},
                                                    {Form_RX_TX->CheckBox_stavy, &setup.show_stavy},
                                                    {Form_rxw->CheckBox_time, &setup.received.time},
                                                    {Form_txw->CheckBox_time, &setup.sent.time}};
    for (auto [box, value] : boxes) {
        *value = box->isChecked();
        QObject::connect(box, &QCheckBox::toggled, Session1, [value](bool on) { *value = on; });
    }
    for (auto [window, choices] :
         {std::pair<TDataWindow *, DataWindowSetup *>{Form_rxw, &setup.received},
          std::pair<TDataWindow *, DataWindowSetup *>{Form_txw, &setup.sent}}) {
        choices->format = window->ComboBox_format->currentIndex();
        QObject::connect(window->ComboBox_format, &QComboBox::currentIndexChanged, Session1,
                         [choices](int index) { choices->format = index; });
    }
}

template <class Window> static void release(Window *&window) {
    delete window;
    window = nullptr;
}

void destroyforms() {
    release(Form_graf);
    release(Form_txw);
    release(Form_rxw);
    release(Form_RX_filtr);
    release(Form_about);
    release(Form_help);
    release(Form_RX_TX);
    release(Form_TX);
    release(Form1);
    release(Session1);
}
