// The settings file: loaded at the first activation, saved at every close,
// opened and saved from the menu.
#include "main_window.h"

#include "bytes_text.h"
#include "errors.h"
#include "filter_list_window.h"
#include "filter_row.h"
#include "forms.h"
#include "ini_file.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "received_window.h"
#include "sent_window.h"
#include "settings_place.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QLineEdit>

namespace {

// The IPv4 address the address fields start from without a settings file.
const char *const defaultaddress = "127.0.0.1";

std::string path(const QString &file) { return QFile::encodeName(file).toStdString(); }

std::string key(int n, const char *prefix) { return prefix + std::to_string(n); }

// The largest size any window may take: what the screens together show. A
// size from the file beyond it would make the platform allocate without
// bound (or crash) for a window nobody can see whole.
QSize largestwindow()
{
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
                bool withvisible = true)
{
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

void savewindow(IniFile &ini, const char *section, const QWidget *window, bool withvisible = true)
{
    ini.writeInteger(section, "Left", window->x());
    ini.writeInteger(section, "top", window->y());
    ini.writeInteger(section, "width", window->width());
    ini.writeInteger(section, "height", window->height());
    if (withvisible)
        ini.writeBool(section, "visible", window->isVisible());
}

QString text(const IniFile &ini, const char *section, const std::string &name,
             const QString &defaultvalue)
{
    return fromBytes(ini.readString(section, name, toBytes(defaultvalue)));
}

void write(IniFile &ini, const std::string &section, const char *name, const QString &value)
{
    ini.writeString(section, name, toBytes(value));
}

int rowcount(const IniFile &ini, const char *section, const char *name)
{
    return std::clamp(ini.readInteger(section, name, 1), 1, ListWindowBase::maxrows);
}

} // namespace

void TForm1::loadsettings()
{
    IniFile ini;
    try {
        ini = IniFile::load(path(settingsfile));
    } catch (const KrovanError &e) {
        // An unreadable file is reported; the defaults stand in for it.
        dialogs().showError(QString::fromUtf8(e.what()));
    }
    loadmainwindow(ini);
    loadlogwindows(ini);
    loadmacros(ini);
    loadfilters(ini);
}

void TForm1::loadmainwindow(const IniFile &ini)
{
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
    const int connection = ini.readInteger(s, "connection", 0);
    ComboBox_pripojeni->setCurrentIndex(connection >= 0 && connection < 5 ? connection : -1);
    ComboBox_pripojeniChange();

    Edit_tx_adr->setText(text(ini, s, "tx_adr", "10.0.0.7"));
    Edit_tx_port->setText(text(ini, s, "tx_port", "9876"));
    Edit_rx_port->setText(text(ini, s, "rx_port", "9876"));
    Edit_icmp_a->setText(text(ini, s, "icmp_a", defaultaddress));
    Edit_TCP_S_port->setText(text(ini, s, "tcp_s_p", "666"));
    Edit_tcp_k_addr->setText(text(ini, s, "tcp_c_a", defaultaddress));
    Edit_tcp_k_port->setText(text(ini, s, "tcp_c_p", "555"));

    const auto select = [&](QComboBox *box, const char *name, int defaultindex) {
        const int index = ini.readInteger(s, name, defaultindex);
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(ComboBox_COM_port, "com_port", 0);
    const QString baud = text(ini, s, "com_baud", "115200");
    if (const int item = ComboBox_baud->findText(baud); item >= 0)
        ComboBox_baud->setCurrentIndex(item);
    ComboBox_baud->setEditText(baud);
    select(ComboBox_bits, "com_bits", 3);
    select(ComboBox_parity, "com_parity", 0);
    select(ComboBox_stop, "com_stop", 0);
}

void TForm1::loadlogwindows(const IniFile &ini)
{
    for (auto [section, window] : {std::pair<const char *, TDataWindow *>{"Form_RXW", Form_rxw},
                                   std::pair<const char *, TDataWindow *>{"Form_TXW", Form_txw}}) {
        loadwindow(ini, section, window, 500, 80);
        const int format = ini.readInteger(section, "format", 0);
        window->ComboBox_format->setCurrentIndex(
            format >= 0 && format < window->ComboBox_format->count() ? format : -1);
    }
    const char *s = "Form_RX_TX";
    loadwindow(ini, s, Form_RX_TX, 500, 80);
    Form_RX_TX->CheckBox_rx->setChecked(ini.readBool(s, "show_rx", false));
    Form_RX_TX->CheckBox_tx->setChecked(ini.readBool(s, "show_tx", false));
    Form_RX_TX->CheckBox_time->setChecked(ini.readBool(s, "show_time", false));
    Form_RX_TX->CheckBox_adr->setChecked(ini.readBool(s, "show_adr", false));
    Form_RX_TX->CheckBox_makro->setChecked(ini.readBool(s, "show_makro", false));
    Form_RX_TX->CheckBox_hex->setChecked(ini.readBool(s, "show_hex", false));
    Form_RX_TX->CheckBox_stavy->setChecked(ini.readBool(s, "show_stavy", false));
    Form_rxw->CheckBox_time->setChecked(ini.readBool("Form_RXW", "show_time", false));
    Form_txw->CheckBox_time->setChecked(ini.readBool("Form_TXW", "show_time", false));
}

void TForm1::loadmacros(const IniFile &ini)
{
    loadwindow(ini, "Form_TX", Form_TX, 0, 80);
    Form_TX->tx_count = rowcount(ini, "Form_TX", "TX_framecount");
    Form_TX->limitheight();
    for (int n = 1; n <= Form_TX->tx_count; ++n) {
        TFrame_tx *row = Form_TX->createrow(n);
        const std::string s = key(n, "Frame_TX_");
        row->Edit_popis->setText(text(ini, s.c_str(), "describe", "tx_" + QString::number(n)));
        row->Edit_data->setText(text(ini, s.c_str(), "data", "data_" + QString::number(n)));
        row->Edit_interval->setText(
            text(ini, s.c_str(), "interval", QString::number(n * 1000)));
        row->CheckBox_hex->setChecked(ini.readBool(s, "hex", false));
    }
    Form_TX->selectrow(1);
}

void TForm1::loadfilters(const IniFile &ini)
{
    const char *s = "Form_RX_filtr";
    loadwindow(ini, s, Form_RX_filtr, 0, 80);
    Form_RX_filtr->filtr_count = rowcount(ini, s, "filtr_framecount");
    Form_RX_filtr->limitheight();
    for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n) {
        TFrame_filtr *row = Form_RX_filtr->createrow(n);
        const std::string r = key(n, "Frame_filtr_");
        row->Edit_filtr->setText(text(ini, r.c_str(), "filter", QString()));
        row->ComboBox_filtr_macro->setEditText(text(ini, r.c_str(), "macro", QString()));
        row->CheckBox_filtr_active->setChecked(ini.readBool(r, "active", false));
        row->CheckBox_filtr_hex->setChecked(ini.readBool(r, "hex", false));
    }
    Form_RX_filtr->selectrow(1);
}

void TForm1::savesettings()
{
    // Foreign sections and keys of the file stay as they are. A file that
    // cannot be read cannot be replaced either, and the user is told so in
    // the words of a save.
    IniFile ini;
    try {
        ini = IniFile::load(path(settingsfile));
    } catch (const KrovanError &) {
        throw KrovanError("Unable to write to " + path(settingsfile));
    }
    const char *s = "Form_main";
    savewindow(ini, s, this, false);
    const Qt::WindowStates state = windowState();
    ini.writeInteger(s, "WindowState",
                     state & Qt::WindowMinimized   ? 1
                     : state & Qt::WindowMaximized ? 2
                                                   : 0);
    ini.writeInteger(s, "connection", ComboBox_pripojeni->currentIndex());
    write(ini, s, "tx_adr", Edit_tx_adr->text());
    write(ini, s, "tx_port", Edit_tx_port->text());
    write(ini, s, "rx_port", Edit_rx_port->text());
    write(ini, s, "icmp_a", Edit_icmp_a->text());
    write(ini, s, "tcp_s_p", Edit_TCP_S_port->text());
    write(ini, s, "tcp_c_a", Edit_tcp_k_addr->text());
    write(ini, s, "tcp_c_p", Edit_tcp_k_port->text());
    ini.writeInteger(s, "com_port", ComboBox_COM_port->currentIndex());
    write(ini, s, "com_baud", ComboBox_baud->currentText());
    ini.writeInteger(s, "com_bits", ComboBox_bits->currentIndex());
    ini.writeInteger(s, "com_parity", ComboBox_parity->currentIndex());
    ini.writeInteger(s, "com_stop", ComboBox_stop->currentIndex());

    for (auto [section, window] : {std::pair<const char *, TDataWindow *>{"Form_RXW", Form_rxw},
                                   std::pair<const char *, TDataWindow *>{"Form_TXW", Form_txw}}) {
        savewindow(ini, section, window);
        ini.writeInteger(section, "format", window->ComboBox_format->currentIndex());
    }
    const char *l = "Form_RX_TX";
    savewindow(ini, l, Form_RX_TX);
    ini.writeBool(l, "show_rx", Form_RX_TX->CheckBox_rx->isChecked());
    ini.writeBool(l, "show_tx", Form_RX_TX->CheckBox_tx->isChecked());
    ini.writeBool(l, "show_time", Form_RX_TX->CheckBox_time->isChecked());
    ini.writeBool(l, "show_adr", Form_RX_TX->CheckBox_adr->isChecked());
    ini.writeBool(l, "show_makro", Form_RX_TX->CheckBox_makro->isChecked());
    ini.writeBool(l, "show_hex", Form_RX_TX->CheckBox_hex->isChecked());
    ini.writeBool(l, "show_stavy", Form_RX_TX->CheckBox_stavy->isChecked());

    savewindow(ini, "Form_TX", Form_TX);
    ini.writeBool("Form_TXW", "show_time", Form_txw->CheckBox_time->isChecked());
    ini.writeBool("Form_RXW", "show_time", Form_rxw->CheckBox_time->isChecked());
    ini.writeInteger("Form_TX", "TX_framecount", Form_TX->tx_count);
    for (int n = 1; n <= Form_TX->tx_count; ++n) {
        const TFrame_tx *row = Form_TX->tx_frames[n];
        const std::string r = key(n, "Frame_TX_");
        write(ini, r, "describe", row->Edit_popis->text());
        write(ini, r, "data", row->Edit_data->text());
        write(ini, r, "interval", row->Edit_interval->text());
        ini.writeBool(r, "hex", row->CheckBox_hex->isChecked());
    }

    const char *f = "Form_RX_filtr";
    savewindow(ini, f, Form_RX_filtr);
    ini.writeInteger(f, "filtr_framecount", Form_RX_filtr->filtr_count);
    for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n) {
        const TFrame_filtr *row = Form_RX_filtr->filtr_frames[n];
        const std::string r = key(n, "Frame_filtr_");
        write(ini, r, "filter", row->Edit_filtr->text());
        write(ini, r, "macro", row->ComboBox_filtr_macro->currentText());
        ini.writeBool(r, "active", row->CheckBox_filtr_active->isChecked());
        ini.writeBool(r, "hex", row->CheckBox_filtr_hex->isChecked());
    }
    makesettingsfolder(settingsfile);
    ini.save(path(settingsfile));
}

void TForm1::choosesettingsfile(const QString &file)
{
    settingsfile = file;
    // The name without its directory and its last four characters (".ini").
    const QString name = QFileInfo(file).fileName();
    settingstitle = name.left(std::max<qsizetype>(0, name.size() - 4)) + " - ";
    serialclose();
    tcpserverclose();
    tcpclientclose();
    icmpoff();
    udpclose();
}

void TForm1::Otevtnastaven1Click()
{
    const QString file = OpenDialog1.executeOpen();
    if (file.isEmpty())
        return;
    choosesettingsfile(file);
    Form_TX->freerows();
    Form_RX_filtr->freerows();
    settingsloaded = false;
    FormActivate();
}

void TForm1::Ulozitnastaven1Click()
{
    const QString file = SaveDialog1.executeSave();
    if (file.isEmpty())
        return;
    if (QFileInfo::exists(file) &&
        dialogs().confirm("Přepsat existující soubor? " + file, true) != Answer::Yes)
        return;
    choosesettingsfile(file);
    savesettings();
}
