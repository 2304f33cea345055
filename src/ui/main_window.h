#pragma once

#include "dialogs.h"
#include "gap_framer.h"
#include "icmp_link.h"
#include "link_kind.h"
#include "script_run.h"
#include "serial_link.h"
#include "session.h"
#include "tcp_client_link.h"
#include "tcp_server_link.h"
#include "udp_link.h"

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QComboBox;

class QLabel;
class QLineEdit;
class QPushButton;
class QTcpSocket;
class QTimer;
class IniFile;
struct Setup;

// The main window: a thin bar with the link selector, one parameter panel
// per link kind and the menus that reach every other window.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Link selector and its five panels.
    QComboBox *ComboBox_pripojeni;
    QWidget *Panel_RS;
    QWidget *Panel_TCP_C;
    QWidget *Panel_TCP_S;
    QWidget *Panel_UDP;
    QWidget *Panel_ICMP;

    // RS232 panel.
    QComboBox *ComboBox_COM_port;
    QPushButton *Button_detect;
    QComboBox *ComboBox_baud;
    QComboBox *ComboBox_bits;
    QComboBox *ComboBox_parity;
    QComboBox *ComboBox_stop;
    QPushButton *Button_RS232_On;
    // TCP client panel.
    QLabel *Label11;
    QLineEdit *Edit_tcp_k_addr;
    QLabel *Label2;
    QLineEdit *Edit_tcp_k_port;
    QPushButton *Button_TCP_C_On;
    // TCP server panel.
    QLabel *Label3;
    QLineEdit *Edit_TCP_S_port;
    QPushButton *Button_TCP_S_On;
    // UDP panel.
    QLabel *Label4;
    QLineEdit *Edit_tx_adr;
    QLabel *Label5;
    QLineEdit *Edit_tx_port;
    QLabel *Label7;
    QLineEdit *Edit_rx_port;
    QPushButton *Button_UDP_On;
    // ICMP panel.
    QLabel *Label13;
    QLineEdit *Edit_icmp_a;
    QPushButton *Button_ICMP_On;

    // Menu items, named after their handlers.
    QAction *Uloitpijatdata1;
    QAction *Uloitstavy1;
    QAction *Uloitodeslandata1;
    // Checkable: every log entry captured to a file as it happens.
    QAction *Zaznamdosouboru1;
    QAction *Otevtnastaven1;
    // "Síťové porty…" and its window.
    QAction *Sovporty1;
    class TForm_netports *Form_netports = nullptr;
    QAction *Ulozitnastaven1;
    QAction *Konec1;
    QAction *Makrakodesln1;
    QAction *Pijmacfiltry1;
    QAction *Stavyadata1;
    QAction *Pijatdata1;
    QAction *Odeslandata1;
    // Checkable: the logs' times with milliseconds.
    QAction *Casmilisekundy1;
    // "Graf": the plot of the received values.
    QAction *Graf1;
    // Links come back by themselves (kept as reconnect in the settings).
    QAction *Obnovovatspojeni1;
    // "Spustit skript…", which reads "Zastavit skript" while one runs.
    QAction *Spustitskript1;
    QAction *Okna;
    QAction *Npovda3;
    QAction *Oprogramu2;

    // Dialogs shared with the other windows.
    FileDialog OpenDialog1;
    FileDialog SaveDialog1;
    FileDialog SaveDialog_data;
    FileDialog SaveDialog_capture;
    FileDialog OpenDialog_script;

    // The current settings file and the label the window title carries for it.
    QString settingsfile;
    QString settingstitle;
    bool settingsloaded = false;
    // State records that came before the settings were loaded (a log that
    // could not make its spool): written once the log boxes and the capture
    // stand as the file says, so that the user sees them.
    QStringList earlynotes;
    // Set once a signal asked the program to end: no later activation may
    // load the settings and show the windows again.
    bool ending = false;
    // The session whose work this window shows and whose links its panels
    // open.
    Session &session;

    // The connect buttons' one handler: toggles the button's kind.
    void connectclicked(LinkKind kind);
    // The connect button of a kind.
    QPushButton *connectbuttonof(LinkKind kind) const;

    // The link a send uses: the first open kind in the fixed order serial,
    // TCP server, TCP client, UDP, ICMP; None when nothing is open.
    LinkKind activelink() const;

    // Serial link (serial_panel.cpp).
    void Button_detectClick();
    // The port the list shows, with the panel's settings, for the next open.
    void chooseserialport();
    // Puts the settings' network ports after the detected ports in the list.
    void listnetports();
    // "Síťové porty…": the network ports the list offers.
    void Sovporty1Click();
    // The panel after the serial port opened or closed.
    void ApdComPort1PortOpen();
    void ApdComPort1PortClose();

    // TCP client (tcp_client_panel.cpp): the panel while connected and after
    // the connection ended.
    void IdTCPClient1Connected();
    void IdTCPClient1Disconnected();

    // Each kind's panel as its link opened or closed (its panel file).
    void serialpanel(bool open);
    void tcpclientpanel(bool open);
    void tcpserverpanel(bool open);
    void udppanel(bool open);
    void icmppanel(bool open);

    void ComboBox_pripojeniChange();

    void FormCreate();
    void FormShow();
    void FormActivate();
    // Closes the links and saves the settings; throws when the save fails,
    // which abandons the close.
    void FormClose();
    // SIGTERM or SIGINT: closes as the close box does and ends the program,
    // also when the settings cannot be saved (the reason goes to standard
    // error and the status is non-zero).
    void closeforsignal();

    void Uloitpijatdata1Click();
    void Uloitstavy1Click();
    void Uloitodeslandata1Click();
    // Checked: asks for a file (an existing one is appended to) and starts
    // the capture; unchecked: stops it.
    void Zaznamdosouboru1Click();
    void Casmilisekundy1Click();
    void Obnovovatspojeni1Click();
    void Spustitskript1Click();
    // Starts or stops the capture as the set-up says; a file that cannot
    // be opened is reported and leaves the capture off.
    void applycapture();
    void Otevtnastaven1Click();
    void Ulozitnastaven1Click();
    void Konec1Click();
    void Makrakodesln1Click();
    void Pijmacfiltry1Click();
    void Stavyadata1Click();
    void Pijatdata1Click();
    void Odeslandata1Click();
    void OknaClick();
    void Npovda3Click();
    void Oprogramu2Click();
    void Graf1Click();

    // Reads settingsfile and applies it to every window; a missing file or
    // key gives the defaults.
    void loadsettings();
    // Writes the whole set-up to settingsfile; throws KrovanError when the
    // file cannot be written, leaving the old file as it was.
    void savesettings();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void loadmainwindow(const IniFile &ini, const Setup &setup);
    void loadlogwindows(const IniFile &ini, const Setup &setup);
    void loadmacros(const IniFile &ini, const Setup &setup);
    void loadgraph(const IniFile &ini, const Setup &setup);
    void loadfilters(const IniFile &ini, const Setup &setup);
    // Makes a file chosen from the menu the current one and closes every link.
    void choosesettingsfile(const QString &file);
    // Title "Krovan " + the version + " - " + settingstitle + suffix.
    void settitle(const QString &suffix);
    void enableudpfields(bool enabled);
    // Captions, enabled controls and titles follow the session's links.
    void wiresession();
    void showlink(LinkKind kind);
    // Every edit of the panels reaches the session's set-up at once.
    void bindsetup();
    void buildpanels(QWidget *bar);
    void buildmenus();
    void connectbutton(QPushButton *button, void (TForm1::*handler)());
    QAction *addmenuitem(class QMenu *menu, const QString &caption, const char *name,
                         void (TForm1::*handler)());

private:
    // The test script running on the open link, if any.
    std::unique_ptr<ScriptRun> script_;
};
