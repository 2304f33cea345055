#include "setup.h"

#include "bytes_text.h"
#include "ini_file.h"

#include <algorithm>
#include <string>

namespace {

std::string key(int n, const char *prefix) {
    return prefix + std::to_string(n);
}

QString text(const IniFile &ini, const std::string &section, const char *name,
             const QString &defaultvalue) {
    return fromBytes(ini.readString(section, name, toBytes(defaultvalue)));
}

void writetext(IniFile &ini, const std::string &section, const char *name, const QString &value) {
    ini.writeString(section, name, toBytes(value));
}

int rowcount(const IniFile &ini, const char *section, const char *name) {
    return std::clamp(ini.readInteger(section, name, 1), 1, Setup::maxrows);
}

} // namespace

Setup Setup::read(const IniFile &ini) {
    Setup setup;
    const char *s = "Form_main";
    setup.connection = ini.readInteger(s, "connection", 0);
    setup.tx_adr = text(ini, s, "tx_adr", setup.tx_adr);
    setup.tx_port = text(ini, s, "tx_port", setup.tx_port);
    setup.rx_port = text(ini, s, "rx_port", setup.rx_port);
    setup.icmp_a = text(ini, s, "icmp_a", setup.icmp_a);
    setup.tcp_s_p = text(ini, s, "tcp_s_p", setup.tcp_s_p);
    setup.tcp_c_a = text(ini, s, "tcp_c_a", setup.tcp_c_a);
    setup.tcp_c_p = text(ini, s, "tcp_c_p", setup.tcp_c_p);
    setup.com_port = ini.readInteger(s, "com_port", 0);
    setup.com_baud = text(ini, s, "com_baud", setup.com_baud);
    setup.com_bits = ini.readInteger(s, "com_bits", 3);
    setup.com_parity = ini.readInteger(s, "com_parity", 0);
    setup.com_stop = ini.readInteger(s, "com_stop", 0);
    setup.reconnect = ini.readBool(s, "reconnect", false);
    readgraphrules(ini, setup);
    readnetwork(ini, setup);

    for (auto [section, window] :
         {std::pair{"Form_RXW", &setup.received}, std::pair{"Form_TXW", &setup.sent}}) {
        window->format = ini.readInteger(section, "format", 0);
        window->time = ini.readBool(section, "show_time", false);
    }
    const char *l = "Form_RX_TX";
    setup.show_rx = ini.readBool(l, "show_rx", false);
    setup.show_tx = ini.readBool(l, "show_tx", false);
    setup.show_time = ini.readBool(l, "show_time", false);
    setup.show_adr = ini.readBool(l, "show_adr", false);
    setup.show_makro = ini.readBool(l, "show_makro", false);
    setup.show_hex = ini.readBool(l, "show_hex", false);
    setup.show_stavy = ini.readBool(l, "show_stavy", false);
    setup.show_ms = ini.readBool(l, "show_ms", false);
    setup.capturefile = text(ini, "Capture", "file", QString());
    setup.captureactive = ini.readBool("Capture", "active", false);
    setup.capturelimitmb = ini.readInteger("Capture", "limit_mb", 1024);
    if (setup.capturelimitmb < 1)
        setup.capturelimitmb = 1024;

    const int macros = rowcount(ini, "Form_TX", "TX_framecount");
    for (int n = 1; n <= macros; ++n) {
        const std::string r = key(n, "Frame_TX_");
        setup.macros.push_back({text(ini, r, "describe", "tx_" + QString::number(n)),
                                text(ini, r, "data", "data_" + QString::number(n)),
                                ini.readBool(r, "hex", false),
                                text(ini, r, "interval", QString::number(n * 1000))});
    }
    const int filters = rowcount(ini, "Form_RX_filtr", "filtr_framecount");
    for (int n = 1; n <= filters; ++n) {
        const std::string r = key(n, "Frame_filtr_");
        const int mode = ini.readInteger(r, "mode", 0);
        setup.filters.push_back(
            {text(ini, r, "filter", QString()), ini.readBool(r, "hex", false),
             ini.readBool(r, "active", false), text(ini, r, "macro", QString()),
             mode >= 0 && mode <= 4 ? static_cast<MatchMode>(mode) : MatchMode::Begins});
    }
    return setup;
}

void Setup::write(IniFile &ini, const PlaceWriter &places) const {
    writelink(ini, places);
    writelogs(ini, places);
    writerows(ini, places);
    writegraphrules(ini);
    if (!capturefile.isEmpty() || ini.hasKey("Capture", "file")) {
        writetext(ini, "Capture", "file", capturefile);
        ini.writeBool("Capture", "active", captureactive);
        ini.writeInteger("Capture", "limit_mb", capturelimitmb);
    }
}

void Setup::readnetwork(const IniFile &ini, Setup &setup) {
    const char *s = "Form_main";
    setup.udp_ttl = std::clamp(ini.readInteger(s, "udp_ttl", 1), 0, 255);
    for (const QString &port : text(ini, s, "net_ports", QString()).split(';', Qt::SkipEmptyParts))
        if (!port.trimmed().isEmpty())
            setup.netports << port.trimmed();
}

void Setup::readgraphrules(const IniFile &ini, Setup &setup) {
    const char *g = "Form_graf";
    const int count = std::clamp(ini.readInteger(g, "count", 0), 0, maxrows);
    for (int n = 1; n <= count; ++n) {
        const auto name = [n](const char *key) { return key + std::to_string(n); };
        ValueRuleSetup rule;
        rule.active = ini.readBool(g, name("active"), false);
        rule.name = text(ini, g, name("name").c_str(), rule.name);
        rule.expression = text(ini, g, name("expression").c_str(), rule.expression);
        rule.group = ini.readInteger(g, name("group"), 0);
        rule.read = text(ini, g, name("read").c_str(), rule.read);
        rule.scale = text(ini, g, name("scale").c_str(), rule.scale);
        rule.offset = text(ini, g, name("offset").c_str(), rule.offset);
        setup.graphrules.push_back(rule);
    }
}

void Setup::writegraphrules(IniFile &ini) const {
    const char *g = "Form_graf";
    if (graphrules.empty() && !ini.hasKey(g, "count"))
        return;
    ini.writeInteger(g, "count", static_cast<int>(graphrules.size()));
    for (std::size_t i = 0; i < graphrules.size(); ++i) {
        const auto name = [i](const char *key) { return key + std::to_string(i + 1); };
        const ValueRuleSetup &rule = graphrules[i];
        ini.writeBool(g, name("active"), rule.active);
        writetext(ini, g, name("name").c_str(), rule.name);
        writetext(ini, g, name("expression").c_str(), rule.expression);
        ini.writeInteger(g, name("group"), rule.group);
        writetext(ini, g, name("read").c_str(), rule.read);
        writetext(ini, g, name("scale").c_str(), rule.scale);
        writetext(ini, g, name("offset").c_str(), rule.offset);
    }
}

void Setup::writelink(IniFile &ini, const PlaceWriter &places) const {
    const char *s = "Form_main";
    places(ini, s);
    ini.writeInteger(s, "connection", connection);
    writetext(ini, s, "tx_adr", tx_adr);
    writetext(ini, s, "tx_port", tx_port);
    writetext(ini, s, "rx_port", rx_port);
    writetext(ini, s, "icmp_a", icmp_a);
    writetext(ini, s, "tcp_s_p", tcp_s_p);
    writetext(ini, s, "tcp_c_a", tcp_c_a);
    writetext(ini, s, "tcp_c_p", tcp_c_p);
    ini.writeInteger(s, "com_port", com_port);
    writetext(ini, s, "com_baud", com_baud);
    ini.writeInteger(s, "com_bits", com_bits);
    ini.writeInteger(s, "com_parity", com_parity);
    ini.writeInteger(s, "com_stop", com_stop);
    // Written where it is used or already stands, as show_ms.
    if (reconnect || ini.hasKey(s, "reconnect"))
        ini.writeBool(s, "reconnect", reconnect);
    if (udp_ttl != 1 || ini.hasKey(s, "udp_ttl"))
        ini.writeInteger(s, "udp_ttl", udp_ttl);
    if (!netports.isEmpty() || ini.hasKey(s, "net_ports"))
        writetext(ini, s, "net_ports", netports.join(';'));
}

void Setup::writelogs(IniFile &ini, const PlaceWriter &places) const {
    for (auto [section, window] :
         {std::pair{"Form_RXW", &received}, std::pair{"Form_TXW", &sent}}) {
        places(ini, section);
        ini.writeInteger(section, "format", window->format);
    }
    const char *l = "Form_RX_TX";
    places(ini, l);
    ini.writeBool(l, "show_rx", show_rx);
    ini.writeBool(l, "show_tx", show_tx);
    ini.writeBool(l, "show_time", show_time);
    ini.writeBool(l, "show_adr", show_adr);
    ini.writeBool(l, "show_makro", show_makro);
    ini.writeBool(l, "show_hex", show_hex);
    ini.writeBool(l, "show_stavy", show_stavy);
    // Keys added later are written where they are used or already stand,
    // so that an older file saved unchanged stays as it was.
    if (show_ms || ini.hasKey(l, "show_ms"))
        ini.writeBool(l, "show_ms", show_ms);
    ini.writeBool("Form_TXW", "show_time", sent.time);
    ini.writeBool("Form_RXW", "show_time", received.time);
}

void Setup::writerows(IniFile &ini, const PlaceWriter &places) const {
    places(ini, "Form_TX");
    ini.writeInteger("Form_TX", "TX_framecount", static_cast<int>(macros.size()));
    for (size_t i = 0; i < macros.size(); ++i) {
        const std::string r = key(static_cast<int>(i + 1), "Frame_TX_");
        writetext(ini, r, "describe", macros[i].describe);
        writetext(ini, r, "data", macros[i].data);
        writetext(ini, r, "interval", macros[i].interval);
        ini.writeBool(r, "hex", macros[i].hex);
    }

    const char *f = "Form_RX_filtr";
    places(ini, f);
    ini.writeInteger(f, "filtr_framecount", static_cast<int>(filters.size()));
    for (size_t i = 0; i < filters.size(); ++i) {
        const std::string r = key(static_cast<int>(i + 1), "Frame_filtr_");
        writetext(ini, r, "filter", filters[i].filter);
        writetext(ini, r, "macro", filters[i].macro);
        ini.writeBool(r, "active", filters[i].active);
        ini.writeBool(r, "hex", filters[i].hex);
        ini.writeInteger(r, "mode", static_cast<int>(filters[i].mode));
    }
}
