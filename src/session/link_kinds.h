#pragma once

// What each kind of link is called and which kinds its connect button closes
// first: one table, in the order of the connection selector. The number of
// kinds is the table's size.

#include "link_kind.h"

#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <span>

struct LinkKindInfo {
    LinkKind kind;
    // The connection selector's item.
    const char *selector;
    // The kind's name on a headless run's command line (--link).
    const char *word;
    // The other kinds its connect button closes before it toggles its own,
    // in that order.
    std::span<const LinkKind> closesfirst;
    // What the window title says while it is open, and the state records of
    // its opening, its closing and its waiting to come back; "%1" stands for
    // the kind's address. Null where the kind has no such title or record
    // (the TCP server's come with its clients).
    const char *title;
    const char *openrecord;
    const char *closerecord;
    const char *waitrecord;
    // Whether its title follows it only while the selector shows it (the
    // port detection opens serial ports under another kind's panel).
    bool titlewhenselected = false;
};

namespace kindorders {
using enum LinkKind;
inline constexpr std::array beforeserial{TcpClient, TcpServer, Icmp, Udp};
inline constexpr std::array beforetcpclient{Serial, TcpServer, Icmp, Udp};
inline constexpr std::array beforetcpserver{Serial, TcpClient, Icmp, Udp};
inline constexpr std::array beforeudp{Serial, TcpServer, TcpClient, Icmp};
inline constexpr std::array beforeicmp{Serial, TcpServer, TcpClient, Udp};
} // namespace kindorders

// Every kind, in the selector's order (the settings file's `connection`).
inline constexpr std::array linkkinds{
    LinkKindInfo{LinkKind::Serial, "RS232", "serial", kindorders::beforeserial, " RS232 připojen",
                 "%1 připojen...", "%1 odpojen...", "%1 čeká na zařízení...", true},
    LinkKindInfo{LinkKind::TcpClient, "TCP klient", "tcp-client", kindorders::beforetcpclient,
                 " TCP klient připojen", "TCP klient připojen", "TCP klient odpojen",
                 "TCP klient čeká na server..."},
    LinkKindInfo{LinkKind::TcpServer, "TCP server", "tcp-server", kindorders::beforetcpserver,
                 nullptr, nullptr, nullptr, nullptr},
    LinkKindInfo{LinkKind::Udp, "UDP", "udp", kindorders::beforeudp, " UDP připojen",
                 "UDP server připojen", "UDP server odpojen", nullptr},
    LinkKindInfo{LinkKind::Icmp, "ICMP(ping)", "icmp", kindorders::beforeicmp, " ICMP připojen",
                 "ICMP aktivní", "ICMP odpojen", nullptr},
};
inline constexpr std::size_t kindcount = linkkinds.size();

// The kind's entry (not None).
const LinkKindInfo &kindinfo(LinkKind kind);
// The kind at a selector index, or None where the index names no kind.
LinkKind kindat(int index);
// The kind a --link word names.
std::optional<LinkKind> kindnamed(const QString &word);
