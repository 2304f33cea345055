#pragma once

// The set-up as a value: everything the settings file holds except where
// the windows stand. Read from and written to the settings file with the
// file's own keys, order and defaults, so that a file loaded and saved
// without changes comes back byte for byte.

#include <QString>
#include <QStringList>

#include "value_rules.h"

#include <functional>
#include <vector>

class IniFile;

// One send macro: description, data text, HEX box and repeat period text.
struct MacroSetup {
    QString describe;
    QString data;
    bool hex = false;
    QString interval;
};

// How a filter's pattern is matched against a received block.
enum class MatchMode { Begins = 0, Contains = 1, Ends = 2, Equals = 3, Expression = 4 };

// One receive filter: its text, HEX box, active box, the macro it names and
// how it matches (a file without the key: begins with).
struct FilterSetup {
    QString filter;
    bool hex = false;
    bool active = false;
    QString macro;
    MatchMode mode = MatchMode::Begins;
};

// A data window's choices: the format's index and whether times are shown.
struct DataWindowSetup {
    int format = 0;
    bool time = false;
};

struct Setup {
    // The selector's index (0 to 4; -1 for none).
    int connection = 0;
    QString tx_adr = "10.0.0.7";
    QString tx_port = "9876";
    QString rx_port = "9876";
    QString icmp_a = "127.0.0.1";
    QString tcp_s_p = "666";
    QString tcp_c_a = "127.0.0.1";
    QString tcp_c_p = "555";
    // Indices into the selectors of the serial panel, and the typed rate.
    int com_port = 0;
    QString com_baud = "115200";
    int com_bits = 3;
    int com_parity = 0;
    int com_stop = 0;

    // The check boxes of "Stavy a data".
    bool show_rx = false;
    bool show_tx = false;
    bool show_time = false;
    bool show_adr = false;
    bool show_makro = false;
    bool show_hex = false;
    bool show_stavy = false;
    DataWindowSetup received;
    DataWindowSetup sent;
    // Every time of the three logs with milliseconds.
    bool show_ms = false;
    // Links come back by themselves when their device or server returns.
    bool reconnect = false;
    // The network serial ports the port list offers after the detected ones
    // (rfc2217://HOST:PORT), in the user's order.
    QStringList netports;
    // The plot's series from rules ([Form_graf]).
    std::vector<ValueRuleSetup> graphrules;
    // The hop limit of UDP sends to a multicast group.
    int udp_ttl = 1;

    // The capture of every entry to a file: where, whether it runs, and the
    // size in MiB past which the file is rotated.
    QString capturefile;
    bool captureactive = false;
    int capturelimitmb = 1024;

    // At least one row each, at most maxrows.
    std::vector<MacroSetup> macros;
    std::vector<FilterSetup> filters;
    static constexpr int maxrows = 100;

    // A missing key gives its default; row counts are held to 1..maxrows.
    static Setup read(const IniFile &ini);

    // Writes where a window's place goes: for each of the sections
    // "Form_main", "Form_RXW", "Form_TXW", "Form_RX_TX", "Form_TX" and
    // "Form_RX_filtr", at the point of the file's order where its place keys
    // stand.
    using PlaceWriter = std::function<void(IniFile &ini, const char *section)>;
    void write(IniFile &ini, const PlaceWriter &places) const;

private:
    // The parts of a write: the link panel's fields, the log windows'
    // switches, the macro and filter rows.
    void writelink(IniFile &ini, const PlaceWriter &places) const;
    void writelogs(IniFile &ini, const PlaceWriter &places) const;
    void writerows(IniFile &ini, const PlaceWriter &places) const;
    void writegraphrules(IniFile &ini) const;
    static void readgraphrules(const IniFile &ini, Setup &setup);
    // The multicast hop limit and the network serial ports.
    static void readnetwork(const IniFile &ini, Setup &setup);
};
