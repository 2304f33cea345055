// The settings file: loaded at the first activation, saved at every close,
// opened and saved from the menu.
#include "main_window.h"

#include "graph_window.h"

#include "bytes_text.h"
#include "errors.h"
#include "filter_list_window.h"
#include "filter_row.h"
#include "forms.h"
#include "graph_window.h"
#include "guard.h"
#include "ini_file.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "received_window.h"
#include "sent_window.h"
#include "settings_place.h"
#include "setup.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include <utility>

namespace {

std::string path(const QString &file) {
    return QFile::encodeName(file).toStdString();
}

// The largest size any window may take: what the screens together show. A
// size from the file beyond it would make the platform allocate without
// bound (or crash) for a window nobody can see whole.
QSize largestwindow() {
    QRect screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens |= screen->geometry();
    return screens.isEmpty() ? QSize(4096, 4096) : screens.size();
}

// Far enough off any screen for "Okna sem!" to be needed, near enough that
// a window's far edge is still a number.
constexpr int farthestplace = 1 << 20;

// Places a window from its section's "Left", "top", "width" and "height",
// and shows or hides it after "visible".
void loadwindow(const IniFile &ini, const char *section, QWidget *window, int left, int top,
                bool withvisible = true) {
    const auto place = [&](const char *name, int fallback) {
        return std::clamp(ini.readInteger(section, name, fallback), -farthestplace, farthestplace);
    };
    window->move(place("Left", left), place("top", top));
    const QSize largest = largestwindow();
    window->resize(std::clamp(ini.readInteger(section, "width", 500), 0, largest.width()),
                   std::clamp(ini.readInteger(section, "height", 200), 0, largest.height()));
    if (withvisible)
        window->setVisible(ini.readBool(section, "visible", true));
}

void savewindow(IniFile &ini, const char *section, const QWidget *window, bool withvisible = true) {
    ini.writeInteger(section, "Left", window->x());
    ini.writeInteger(section, "top", window->y());
    ini.writeInteger(section, "width", window->width());
    ini.writeInteger(section, "height", window->height());
    if (withvisible)
        ini.writeBool(section, "visible", window->isVisible());
}

} // namespace

void TForm1::loadsettings() {
    IniFile ini;
    try {
        ini = IniFile::load(path(settingsfile));
    } catch (const KrovanError &e) {
        // An unreadable file is reported; the defaults stand in for it.
        dialogs().showError(QString::fromUtf8(e.what()));
    }
    const Setup setup = Setup::read(ini);
    loadmainwindow(ini, setup);
    loadlogwindows(ini, setup);
    loadmacros(ini, setup);
    loadfilters(ini, setup);
    loadgraph(ini, setup);
    Casmilisekundy1->setChecked(setup.show_ms);
    Casmilisekundy1Click();
    Obnovovatspojeni1->setChecked(setup.reconnect);
    Obnovovatspojeni1Click();
    session.setup.capturefile = setup.capturefile;
    session.setup.captureactive = setup.captureactive;
    session.setup.capturelimitmb = setup.capturelimitmb;
    // The capture goes on appending where the last run left it.
    guarded([this] { applycapture(); });
    for (const QString &text : std::exchange(earlynotes, {}))
        session.note(text);
}

void TForm1::loadmainwindow(const IniFile &ini, const Setup &setup) {
    const char *s = "Form_main";
    loadwindow(ini, s, this, 0, 0, false);
    switch (ini.readInteger(s, "WindowState", 2)) {
    case 0:
        setWindowState(Qt::WindowNoState);
        break;
    case 1:
        setWindowState(Qt::WindowMinimized);
        break;
    case 2:
        setWindowState(Qt::WindowMaximized);
        break;
    default:
        break; // any other value leaves the state as it is
    }
    const int connection = setup.connection;
    ComboBox_pripojeni->setCurrentIndex(kindat(connection) == LinkKind::None ? -1 : connection);
    ComboBox_pripojeniChange();

    Edit_tx_adr->setText(setup.tx_adr);
    Edit_tx_port->setText(setup.tx_port);
    Edit_rx_port->setText(setup.rx_port);
    Edit_icmp_a->setText(setup.icmp_a);
    Edit_TCP_S_port->setText(setup.tcp_s_p);
    Edit_tcp_k_addr->setText(setup.tcp_c_a);
    Edit_tcp_k_port->setText(setup.tcp_c_p);

    const auto select = [](QComboBox *box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    session.setup.netports = setup.netports;
    listnetports();
    select(ComboBox_COM_port, setup.com_port);
    if (const int item = ComboBox_baud->findText(setup.com_baud); item >= 0)
        ComboBox_baud->setCurrentIndex(item);
    ComboBox_baud->setEditText(setup.com_baud);
    select(ComboBox_bits, setup.com_bits);
    select(ComboBox_parity, setup.com_parity);
    select(ComboBox_stop, setup.com_stop);
}

void TForm1::loadlogwindows(const IniFile &ini, const Setup &setup) {
    for (auto [section, window, choices] :
         {std::tuple<const char *, TDataWindow *, const DataWindowSetup *>{"Form_RXW", Form_rxw,
                                                                           &setup.received},
          std::tuple<const char *, TDataWindow *, const DataWindowSetup *>{"Form_TXW", Form_txw,
                                                                           &setup.sent}}) {
        loadwindow(ini, section, window, 500, 80);
        const int format = choices->format;
        window->ComboBox_format->setCurrentIndex(
            format >= 0 && format < window->ComboBox_format->count() ? format : -1);
    }
    loadwindow(ini, "Form_RX_TX", Form_RX_TX, 500, 80);
    Form_RX_TX->CheckBox_rx->setChecked(setup.show_rx);
    Form_RX_TX->CheckBox_tx->setChecked(setup.show_tx);
    Form_RX_TX->CheckBox_time->setChecked(setup.show_time);
    Form_RX_TX->CheckBox_adr->setChecked(setup.show_adr);
    Form_RX_TX->CheckBox_makro->setChecked(setup.show_makro);
    Form_RX_TX->CheckBox_hex->setChecked(setup.show_hex);
    Form_RX_TX->CheckBox_stavy->setChecked(setup.show_stavy);
    Form_rxw->CheckBox_time->setChecked(setup.received.time);
    Form_txw->CheckBox_time->setChecked(setup.sent.time);
}

void TForm1::loadmacros(const IniFile &ini, const Setup &setup) {
    loadwindow(ini, "Form_TX", Form_TX, 0, 80);
    Form_TX->tx_count = static_cast<int>(setup.macros.size());
    Form_TX->limitheight();
    for (int n = 1; n <= Form_TX->tx_count; ++n) {
        TFrame_tx *row = Form_TX->createrow(n);
        const MacroSetup &macro = setup.macros[static_cast<size_t>(n - 1)];
        row->Edit_popis->setText(macro.describe);
        row->Edit_data->setText(macro.data);
        row->Edit_interval->setText(macro.interval);
        row->CheckBox_hex->setChecked(macro.hex);
    }
    Form_TX->selectrow(1);
}

void TForm1::loadfilters(const IniFile &ini, const Setup &setup) {
    loadwindow(ini, "Form_RX_filtr", Form_RX_filtr, 0, 80);
    Form_RX_filtr->filtr_count = static_cast<int>(setup.filters.size());
    Form_RX_filtr->limitheight();
    for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n) {
        TFrame_filtr *row = Form_RX_filtr->createrow(n);
        const FilterSetup &filter = setup.filters[static_cast<size_t>(n - 1)];
        row->Edit_filtr->setText(filter.filter);
        row->ComboBox_filtr_macro->setEditText(filter.macro);
        row->CheckBox_filtr_active->setChecked(filter.active);
        row->CheckBox_filtr_hex->setChecked(filter.hex);
        row->ComboBox_filtr_mode->setCurrentIndex(static_cast<int>(filter.mode));
    }
    Form_RX_filtr->selectrow(1);
}

void TForm1::loadgraph(const IniFile &ini, const Setup &setup) {
    // A file without the section leaves the plot hidden where it was made.
    if (ini.hasKey("Form_graf", "visible"))
        loadwindow(ini, "Form_graf", Form_graf, 520, 300);
    session.setup.graphrules = setup.graphrules;
    for (const QString &problem : Form_graf->setrules(setup.graphrules))
        session.note(problem);
}

void TForm1::savesettings() {
    // Foreign sections and keys of the file stay as they are. A file that
    // cannot be read cannot be replaced either, and the user is told so in
    // the words of a save.
    IniFile ini;
    try {
        ini = IniFile::load(path(settingsfile));
    } catch (const KrovanError &) {
        throw KrovanError("Unable to write to " + path(settingsfile));
    }
    // The set-up the windows keep current in the session, with the places
    // of the windows themselves.
    session.setup.write(ini, [this](IniFile &file, const char *section) {
        const std::string_view name(section);
        if (name == "Form_main") {
            savewindow(file, section, this, false);
            const Qt::WindowStates state = windowState();
            file.writeInteger(section, "WindowState",
                              state & Qt::WindowMinimized   ? 1
                              : state & Qt::WindowMaximized ? 2
                                                            : 0);
            return;
        }
        const std::pair<const char *, const QWidget *> windows[] = {
            {"Form_RXW", Form_rxw},
            {"Form_TXW", Form_txw},
            {"Form_RX_TX", Form_RX_TX},
            {"Form_TX", Form_TX},
            {"Form_RX_filtr", Form_RX_filtr}};
        for (auto [windowsection, window] : windows)
            if (name == windowsection)
                savewindow(file, section, window);
    });
    // Written once the plot has been shown, or where the file has it already.
    if (Form_graf->shownonce() || ini.hasKey("Form_graf", "visible"))
        savewindow(ini, "Form_graf", Form_graf);
    makesettingsfolder(settingsfile);
    ini.save(path(settingsfile));
}

void TForm1::choosesettingsfile(const QString &file) {
    settingsfile = file;
    // The name without its directory and its last four characters (".ini").
    const QString name = QFileInfo(file).fileName();
    settingstitle = name.left(std::max<qsizetype>(0, name.size() - 4)) + " - ";
    session.closeall(Session::Closing::SettingsFile);
}

void TForm1::Otevtnastaven1Click() {
    const QString file = OpenDialog1.executeOpen();
    if (file.isEmpty())
        return;
    choosesettingsfile(file);
    Form_TX->freerows();
    Form_RX_filtr->freerows();
    settingsloaded = false;
    FormActivate();
}

void TForm1::Ulozitnastaven1Click() {
    const QString file = SaveDialog1.executeSave();
    if (file.isEmpty())
        return;
    if (QFileInfo::exists(file) &&
        dialogs().confirm("Přepsat existující soubor? " + file, true) != Answer::Yes)
        return;
    choosesettingsfile(file);
    savesettings();
}
