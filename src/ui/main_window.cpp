#include "main_window.h"

#include "about_window.h"
#include "filter_list_window.h"
#include "forms.h"
#include "graph_window.h"
#include "guard.h"
#include "help_window.h"
#include "log_view.h"
#include "macro_list_window.h"
#include "net_ports_window.h"
#include "received_window.h"
#include "save_log.h"
#include "sent_window.h"
#include "settings_place.h"
#include "states_window.h"
#include "tool_window.h"
#include "whole_texts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int barHeight = 81;
constexpr int panelHeight = 21;

QWidget *makepanel(const char *name) {
    auto *panel = new QWidget;
    panel->setObjectName(name);
    panel->setFixedHeight(panelHeight);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    return panel;
}

template <class Control>
Control *place(QWidget *panel, Control *control, const char *name, int width = 0) {
    control->setObjectName(name);
    if (width > 0)
        control->setFixedWidth(width);
    panel->layout()->addWidget(control);
    return control;
}

QLabel *label(QWidget *panel, const char *name, const QString &caption) {
    return place(panel, new QLabel(caption), name);
}

QLineEdit *edit(QWidget *panel, const char *name, const QString &text, int width) {
    return place(panel, new QLineEdit(text), name, width);
}

QPushButton *boldbutton(QWidget *panel, const char *name, const QString &caption) {
    auto *button = place(panel, new QPushButton(caption), name, 75);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

// A drop-down list (or an editable combo box) with its items and start text.
QComboBox *combo(QWidget *panel, const char *name, const QStringList &items, const QString &text,
                 bool editable, int width) {
    auto *box = place(panel, new QComboBox, name, width);
    box->setEditable(editable);
    box->addItems(items);
    // The arrow keys and the wheel step from the item shown; a typed text
    // confirmed with Enter is used, not added to the list.
    box->setCurrentIndex(items.indexOf(text));
    if (editable) {
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setEditText(text);
    }
    return box;
}

void endpanel(QWidget *panel) {
    static_cast<QHBoxLayout *>(panel->layout())->addStretch(1);
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent),
      OpenDialog1({"Soubory s nastavením|*.ini", "ini", ".", QString(), false, QString()}),
      SaveDialog1({"soubory s nastavením|*.ini", "ini", ".", QString(), false, QString()}),
      SaveDialog_data({"Soubor RTF|*.rtf", "rtf", QString(), "nový soubor", false, QString()}),
      SaveDialog_capture({"Záznam (TSV)|*.tsv", "tsv", QString(), "zaznam.tsv", false,
                          "Záznam do souboru (do existujícího souboru se připisuje)"}),
      OpenDialog_script({"Skripty Lua|*.lua", "lua", ".", QString(), true, "Spustit skript"}),
      session(*Session1) {
    setObjectName("Form1");
    setWindowTitle("Krovan");
    setFont(QFont("MS Sans Serif", 8));
    setGeometry(258, 126, 922, 178);

    auto *bar = new QWidget;
    setCentralWidget(bar);
    auto *grid = new QGridLayout(bar);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(7);
    grid->setAlignment(Qt::AlignTop);

    ComboBox_pripojeni = new QComboBox;
    ComboBox_pripojeni->setObjectName("ComboBox_pripojeni");
    ComboBox_pripojeni->setFixedWidth(97);
    for (const LinkKindInfo &kind : linkkinds)
        ComboBox_pripojeni->addItem(kind.selector);
    QFont bold = ComboBox_pripojeni->font();
    bold.setBold(true);
    ComboBox_pripojeni->setFont(bold);
    ComboBox_pripojeni->setCurrentIndex(0);
    connect(ComboBox_pripojeni, &QComboBox::activated, this,
            [this] { guarded([this] { ComboBox_pripojeniChange(); }); });
    grid->addWidget(ComboBox_pripojeni, 0, 0, Qt::AlignTop);

    buildpanels(bar);
    // The five panels share one cell: one place, one visible at a time.
    for (QWidget *panel : {Panel_RS, Panel_TCP_C, Panel_TCP_S, Panel_UDP, Panel_ICMP})
        grid->addWidget(panel, 0, 1, Qt::AlignTop);
    grid->setColumnStretch(1, 1);

    buildmenus();
    // A capture that stopped by itself leaves its item unchecked.
    connect(&session, &Session::capturestopped, this,
            [this] { Zaznamdosouboru1->setChecked(false); });
    for (const LinkKindInfo &each : linkkinds)
        connect(connectbuttonof(each.kind), &QPushButton::clicked, this,
                [this, kind = each.kind] { guarded([=, this] { connectclicked(kind); }); });
    wiresession();
    bindsetup();
    takewholetexts(this);
    FormCreate();
}

void TForm1::buildpanels(QWidget *bar) {
    Panel_RS = makepanel("Panel_RS");
    ComboBox_COM_port = combo(Panel_RS, "ComboBox_COM_port", {}, QString(), false, 90);
    Button_detect = place(Panel_RS, new QPushButton("detect"), "Button_detect", 50);
    ComboBox_baud = combo(Panel_RS, "ComboBox_baud",
                          {"600", "1200", "2400", "4800", "9600", "14400", "19200", "28800",
                           "38400", "56000", "57600", "115200", "128000", "256000", ""},
                          "115200", true, 80);
    ComboBox_bits = combo(Panel_RS, "ComboBox_bits", {"5", "6", "7", "8", ""}, "8", false, 40);
    ComboBox_parity = combo(Panel_RS, "ComboBox_parity", {"N", "O", "E", "M", "S"}, "N", false, 40);
    ComboBox_stop = combo(Panel_RS, "ComboBox_stop", {"1", "1,5", "2"}, "1", false, 45);
    // Parity, stop bits and data bits are shown but fixed at 8-N-1.
    for (QComboBox *fixed : {ComboBox_bits, ComboBox_parity, ComboBox_stop})
        fixed->setEnabled(false);
    Button_RS232_On = boldbutton(Panel_RS, "Button_RS232_On", "Připojit");
    connectbutton(Button_detect, &TForm1::Button_detectClick);
    endpanel(Panel_RS);

    Panel_TCP_C = makepanel("Panel_TCP_C");
    Label11 = label(Panel_TCP_C, "Label11", "Adresa serveru:");
    Edit_tcp_k_addr = edit(Panel_TCP_C, "Edit_tcp_k_addr", "localhost", 120);
    Label2 = label(Panel_TCP_C, "Label2", "Port:");
    Edit_tcp_k_port = edit(Panel_TCP_C, "Edit_tcp_k_port", "500", 50);
    Button_TCP_C_On = boldbutton(Panel_TCP_C, "Button_TCP_C_On", "Připojit");
    endpanel(Panel_TCP_C);

    Panel_TCP_S = makepanel("Panel_TCP_S");
    Label3 = label(Panel_TCP_S, "Label3", "Poslouchací port:");
    Edit_TCP_S_port = edit(Panel_TCP_S, "Edit_TCP_S_port", "666", 50);
    Button_TCP_S_On = boldbutton(Panel_TCP_S, "Button_TCP_S_On", "Připojit");
    endpanel(Panel_TCP_S);

    Panel_UDP = makepanel("Panel_UDP");
    Label4 = label(Panel_UDP, "Label4", "Přijímací adresa:");
    Edit_tx_adr = edit(Panel_UDP, "Edit_tx_adr", QString(), 110);
    Label5 = label(Panel_UDP, "Label5", "Přijímací port:");
    Edit_tx_port = edit(Panel_UDP, "Edit_tx_port", QString(), 50);
    Label7 = label(Panel_UDP, "Label7", "Vysílací port:");
    Edit_rx_port = edit(Panel_UDP, "Edit_rx_port", QString(), 50);
    Button_UDP_On = boldbutton(Panel_UDP, "Button_UDP_On", "Připojit");
    endpanel(Panel_UDP);

    Panel_ICMP = makepanel("Panel_ICMP");
    Label13 = label(Panel_ICMP, "Label13", "Adresa:");
    Edit_icmp_a = edit(Panel_ICMP, "Edit_icmp_a", "10.0.0.1", 120);
    Button_ICMP_On = boldbutton(Panel_ICMP, "Button_ICMP_On", "Zapnout");
    endpanel(Panel_ICMP);

    for (QWidget *panel : {Panel_RS, Panel_TCP_C, Panel_TCP_S, Panel_UDP, Panel_ICMP})
        panel->setParent(bar);
}

void TForm1::connectbutton(QPushButton *button, void (TForm1::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([=, this] { (this->*handler)(); }); });
}

QAction *TForm1::addmenuitem(QMenu *menu, const QString &caption, const char *name,
                             void (TForm1::*handler)()) {
    QAction *item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this,
            [this, handler] { guarded([=, this] { (this->*handler)(); }); });
    return item;
}

void TForm1::buildmenus() {
    QMenu *soubor = menuBar()->addMenu("Soubor");
    Uloitpijatdata1 = addmenuitem(soubor, "Uložit přijatá data", "Uloitpijatdata1",
                                  &TForm1::Uloitpijatdata1Click);
    Uloitstavy1 = addmenuitem(soubor, "Uložit stavy", "Uloitstavy1", &TForm1::Uloitstavy1Click);
    Uloitodeslandata1 = addmenuitem(soubor, "Uložit odeslaná data", "Uloitodeslandata1",
                                    &TForm1::Uloitodeslandata1Click);
    Zaznamdosouboru1 = addmenuitem(soubor, "Záznam do souboru…", "Zaznamdosouboru1",
                                   &TForm1::Zaznamdosouboru1Click);
    Zaznamdosouboru1->setCheckable(true);
    Obnovovatspojeni1 = addmenuitem(soubor, "Obnovovat spojení", "Obnovovatspojeni1",
                                    &TForm1::Obnovovatspojeni1Click);
    Obnovovatspojeni1->setCheckable(true);
    Sovporty1 = addmenuitem(soubor, "Síťové porty…", "Sovporty1", &TForm1::Sovporty1Click);
    Spustitskript1 =
        addmenuitem(soubor, "Spustit skript…", "Spustitskript1", &TForm1::Spustitskript1Click);
    soubor->addSeparator();
    Otevtnastaven1 =
        addmenuitem(soubor, "Otevřít nastavení", "Otevtnastaven1", &TForm1::Otevtnastaven1Click);
    Ulozitnastaven1 =
        addmenuitem(soubor, "Ulozit nastavení", "Ulozitnastaven1", &TForm1::Ulozitnastaven1Click);
    soubor->addSeparator();
    Konec1 = addmenuitem(soubor, "Konec", "Konec1", &TForm1::Konec1Click);

    QMenu *okna = menuBar()->addMenu("Okna");
    Makrakodesln1 =
        addmenuitem(okna, "Makra k odeslání", "Makrakodesln1", &TForm1::Makrakodesln1Click);
    Pijmacfiltry1 =
        addmenuitem(okna, "Přijímací filtry", "Pijmacfiltry1", &TForm1::Pijmacfiltry1Click);
    Stavyadata1 = addmenuitem(okna, "Stavy a data", "Stavyadata1", &TForm1::Stavyadata1Click);
    Pijatdata1 = addmenuitem(okna, "Přijatá data", "Pijatdata1", &TForm1::Pijatdata1Click);
    Odeslandata1 = addmenuitem(okna, "Odeslaná data", "Odeslandata1", &TForm1::Odeslandata1Click);
    Graf1 = addmenuitem(okna, "Graf", "Graf1", &TForm1::Graf1Click);
    Casmilisekundy1 =
        addmenuitem(okna, "Čas s milisekundami", "Casmilisekundy1", &TForm1::Casmilisekundy1Click);
    Casmilisekundy1->setCheckable(true);
    okna->addSeparator();
    Okna = addmenuitem(okna, "Okna sem!", "Okna", &TForm1::OknaClick);

    QMenu *napoveda = menuBar()->addMenu("Nápověda");
    Npovda3 = addmenuitem(napoveda, "Nápověda", "Npovda3", &TForm1::Npovda3Click);
    Oprogramu2 = addmenuitem(napoveda, "O programu", "Oprogramu2", &TForm1::Oprogramu2Click);
}

void TForm1::FormCreate() {
    showmilliseconds = false;
    ComboBox_pripojeniChange();
    settingsfile = defaultsettingsfile();
    settingstitle.clear();
    // The panels already share one place: the cell of the grid.
    setMinimumHeight(barHeight);
    setMaximumHeight(barHeight);
}

void TForm1::ComboBox_pripojeniChange() {
    // In the selector's order.
    QWidget *const panels[] = {Panel_RS, Panel_TCP_C, Panel_TCP_S, Panel_UDP, Panel_ICMP};
    static_assert(std::size(panels) == kindcount);
    const LinkKind kind = kindat(ComboBox_pripojeni->currentIndex());
    if (kind == LinkKind::None)
        return;
    for (const LinkKindInfo &each : linkkinds)
        panels[static_cast<std::size_t>(each.kind)]->setVisible(each.kind == kind);
}

void TForm1::FormShow() {
    if (ComboBox_COM_port->count() == 0)
        Button_detectClick();
}

void TForm1::FormActivate() {
    if (settingsloaded || ending)
        return;
    // Marked first: a load that fails must not come back at every activation
    // (closing its error box activates the window again).
    settingsloaded = true;
    loadsettings();
}

void TForm1::FormClose() {
    session.closeall(Session::Closing::Shutdown);
    // A window closed before it ever became active never loaded the file:
    // its start-up state must not replace the user's set-up.
    if (!settingsloaded)
        return;
    // A save that fails throws: the guard shows it and the close is
    // abandoned, and the rows' repeats run on as they are set.
    try {
        savesettings();
    } catch (...) {
        session.holdrepeats(false);
        throw;
    }
}

void TForm1::closeforsignal() {
    if (ending)
        return;
    ending = true;
    try {
        FormClose();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "krovan: %s\n", e.what());
        QCoreApplication::exit(1);
        return;
    }
    hide();
    // Ends the event loop at once: waiting for the last window to close
    // would let events still queued (a first activation) show windows again.
    QCoreApplication::exit(0);
}

bool TForm1::event(QEvent *event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        guarded([this] { FormActivate(); });
    return handled;
}

void TForm1::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

void TForm1::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    // Some platforms maximize past the maximum height; the bar stays a bar,
    // as wide as it was made.
    if (height() != barHeight)
        resize(width(), barHeight);
}

void TForm1::closeEvent(QCloseEvent *event) {
    bool closing = false;
    guarded([&] {
        FormClose();
        closing = true;
    });
    if (closing)
        event->accept();
    else
        event->ignore();
}

void TForm1::Uloitpijatdata1Click() {
    savelog(Form_rxw->RichEdit_rx);
}
void TForm1::Uloitstavy1Click() {
    savelog(Form_RX_TX->RichEdit_mix);
}
void TForm1::Uloitodeslandata1Click() {
    savelog(Form_txw->RichEdit_tx);
}

void TForm1::Zaznamdosouboru1Click() {
    Setup &setup = session.setup;
    if (!Zaznamdosouboru1->isChecked()) {
        session.stopcapture();
        setup.captureactive = false;
        return;
    }
    Zaznamdosouboru1->setChecked(false);
    const QString file = SaveDialog_capture.executeSave();
    if (file.isEmpty())
        return;
    setup.capturefile = file;
    setup.captureactive = true;
    applycapture();
}

void TForm1::applycapture() {
    const Setup &setup = session.setup;
    session.stopcapture();
    Zaznamdosouboru1->setChecked(false);
    if (!setup.captureactive || setup.capturefile.isEmpty())
        return;
    session.startcapture(setup.capturefile, qint64(setup.capturelimitmb) << 20);
    Zaznamdosouboru1->setChecked(true);
}

void TForm1::Obnovovatspojeni1Click() {
    session.setreconnect(Obnovovatspojeni1->isChecked());
}

void TForm1::Casmilisekundy1Click() {
    session.setup.show_ms = Casmilisekundy1->isChecked();
    showmilliseconds = session.setup.show_ms;
}

void TForm1::Konec1Click() {
    close();
}

void TForm1::Makrakodesln1Click() {
    showwindow(Form_TX);
}
void TForm1::Pijmacfiltry1Click() {
    showwindow(Form_RX_filtr);
}
void TForm1::Stavyadata1Click() {
    showwindow(Form_RX_TX);
}
void TForm1::Pijatdata1Click() {
    showwindow(Form_rxw);
}
void TForm1::Odeslandata1Click() {
    showwindow(Form_txw);
}

void TForm1::OknaClick() {
    for (QWidget *window : std::initializer_list<QWidget *>{Form_TX, Form_RX_filtr, Form_RX_TX,
                                                            Form_rxw, Form_txw, Form_graf})
        window->move(0, 0);
}

void TForm1::Graf1Click() {
    showwindow(Form_graf);
}

void TForm1::Npovda3Click() {
    showwindow(Form_help);
}

void TForm1::Sovporty1Click() {
    if (!Form_netports) {
        Form_netports = new TForm_netports(this);
        connect(Form_netports, &TForm_netports::left, this, [this](const QStringList &ports) {
            session.setup.netports = ports;
            const QString shown = ComboBox_COM_port->currentText();
            listnetports();
            // The port shown stays shown while it is still listed.
            if (const int item = ComboBox_COM_port->findText(shown); item >= 0)
                ComboBox_COM_port->setCurrentIndex(item);
        });
    }
    Form_netports->edit(session.setup.netports);
}

void TForm1::Oprogramu2Click() {
    Form_about->exec();
}
