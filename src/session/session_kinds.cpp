// Each link kind's own steps: opening and closing it with its state
// records, what it reports besides its blocks, the address its sends name,
// what a send reads from the set-up, and the orders in which occasions
// close the kinds.
#include "session.h"

#include "errors.h"

#include <array>

void Session::wireserial(Link &port) {
    connect(&port, &Link::opened, this, [this] { guard([this] { serialopened(); }); });
    connect(&port, &Link::closed, this, [this, &port](bool bypeer) {
        guard([this] { serialclosed(); });
        // A port waiting for its device stays engaged for the user.
        if (!bypeer || port.waiting())
            return;
        // The device went away and its port was closed.
        emit seriallost();
        emit linkchanged(LinkKind::Serial, false);
    });
    connect(&port, &Link::waitingstarted, this, [this] {
        guard([this] {
            emit linkchanged(LinkKind::Serial, true);
            announce(LinkKind::Serial, Announcement::Waiting);
        });
    });
}

void Session::wiretcpclient(Link &client) {
    connect(&client, &Link::opened, this, [this] { guard([this] { tcpclientconnected(); }); });
    connect(&client, &Link::closed, this, [this](bool bypeer) {
        if (bypeer)
            guard([this] { tcpclientdisconnected(); });
    });
    connect(&client, &Link::waitingstarted, this, [this] {
        guard([this] {
            emit linkchanged(LinkKind::TcpClient, true);
            announce(LinkKind::TcpClient, Announcement::Waiting);
        });
    });
}

void Session::wiretcpserver(Link &link) {
    // The clients' comings and goings are the server's own.
    auto *server = qobject_cast<TcpServerLink *>(&link);
    if (!server)
        return;
    connect(server, &TcpServerLink::clientConnected, this, [this] {
        guard([&] {
            linkstate(LinkKind::TcpServer, "TCP server připojen...");
            emit connectionstate(" TCP server připojen");
        });
    });
    connect(server, &TcpServerLink::clientDisconnected, this, [this] {
        guard([this] {
            linkstate(LinkKind::TcpServer, "TCP server odpojen...");
            emit connectionstate(" odpojen");
        });
    });
}

QString Session::sendaddress(LinkKind kind) const {
    return kind == LinkKind::None ? QString() : (this->*steps(kind).sendaddress)();
}

QString Session::serialaddress() const {
    return &link(LinkKind::Serial) == &NetPort1 ? NetPort1.name() : ApdComPort1.name();
}

QString Session::tcpserveraddress() const {
    return typed_.tcpserveraddress(setup);
}

QString Session::tcpclientaddress() const {
    return typed_.tcpclientaddress(setup);
}

QString Session::udpaddress() const {
    return typed_.udpaddress(setup);
}

QString Session::icmpaddress() const {
    return setup.icmp_a;
}

void Session::udpdestination() {
    IdUDPServer1.settings.host = setup.tx_adr;
    IdUDPServer1.settings.port = typed_.udpport(setup);
}

void Session::icmphost() {
    IdIcmpClient1.host = typed_.icmphost(setup);
}

void Session::linksend(LinkKind kind, const std::string &bytes) {
    if (kind == LinkKind::None)
        throw KrovanError("No link is open.");
    if (const auto before = steps(kind).beforesend)
        (this->*before)();
    try {
        link(kind).send(bytes);
    } catch (const IcmpPermissionError &error) {
        // Every echo fails alike; the reason is worth one report per run.
        if (!icmpreasonshown) {
            icmpreasonshown = true;
            report(QString::fromStdString(error.what()));
        }
        throw;
    }
}

// ---- opening and closing ----

void Session::chooseserial(const SerialSettings &settings) {
    ApdComPort1.setsettings(settings);
    NetPort1.setsettings(settings);
    // A test's own link stays in its place.
    Link *const current = links_[static_cast<size_t>(LinkKind::Serial)];
    Link *const chosen = isnetworkport(settings.device) ? static_cast<Link *>(&NetPort1)
                                                        : static_cast<Link *>(&ApdComPort1);
    if ((current == &ApdComPort1 || current == &NetPort1) && current != chosen)
        uselink(LinkKind::Serial, *chosen);
}

bool Session::probeserial(int number) {
    SerialSettings settings = ApdComPort1.settings();
    settings.number = number;
    settings.device.clear();
    chooseserial(settings);
    ApdComPort1.open();
    const bool opened = ApdComPort1.isOpen();
    ApdComPort1.close();
    return opened;
}

void Session::serialopen() {
    link(LinkKind::Serial).setreconnect(setup.reconnect);
    link(LinkKind::Serial).open();
    emit linkchanged(LinkKind::Serial, isengaged(LinkKind::Serial));
}

void Session::serialclose() {
    link(LinkKind::Serial).close();
    emit linkchanged(LinkKind::Serial, false);
}

void Session::serialopened() {
    announce(LinkKind::Serial, Announcement::Opened);
}

void Session::serialclosed() {
    announce(LinkKind::Serial, Announcement::Closed);
}

void Session::announce(LinkKind kind, Announcement what) {
    const LinkKindInfo &info = kindinfo(kind);
    if (info.titlewhenselected && setup.connection != static_cast<int>(kind))
        return;
    static constexpr std::array titles{"", " odpojen", " čeká"};
    emit connectionstate(what == Announcement::Opened ? info.title
                                                      : titles[static_cast<size_t>(what)]);
    const std::array records{info.openrecord, info.closerecord, info.waitrecord};
    QString text = QString::fromUtf8(records[static_cast<size_t>(what)]);
    if (text.contains("%1"))
        text.replace("%1", sendaddress(kind));
    linkstate(kind, text);
}

void Session::tcpclientopen() {
    IdTCPClient1.settings = typed_.tcpclient(setup);
    link(LinkKind::TcpClient).setreconnect(setup.reconnect);
    // A connection made is reported by the link (tcpclientconnected), now
    // or when a waiting link gets through.
    link(LinkKind::TcpClient).open();
}

void Session::tcpclientconnected() {
    emit linkchanged(LinkKind::TcpClient, true);
    announce(LinkKind::TcpClient, Announcement::Opened);
    // The link reads as soon as the event loop runs again.
    if (StreamFramer *stream = framer(LinkKind::TcpClient))
        stream->restart();
}

void Session::tcpclientdisconnected() {
    // A client waiting for its server stays engaged for the user.
    emit linkchanged(LinkKind::TcpClient, isengaged(LinkKind::TcpClient));
    announce(LinkKind::TcpClient, Announcement::Closed);
}

void Session::tcpclientclose() {
    link(LinkKind::TcpClient).close();
    // Disconnecting runs the disconnected notification every time, also
    // when no connection was open. Nothing of the connection is read after.
    tcpclientdisconnected();
}

void Session::tcpserveropen() {
    IdTCPServer1.settingsport = typed_.tcpserverport(setup);
    link(LinkKind::TcpServer).open();
    // No title and no record: those come with the clients.
    emit linkchanged(LinkKind::TcpServer, true);
}

void Session::tcpserverclose() {
    // Every client is dropped (one disconnected notification each), then
    // listening stops; nothing here waits and nothing fails.
    link(LinkKind::TcpServer).close();
    emit linkchanged(LinkKind::TcpServer, false);
}

void Session::udpopen() {
    IdUDPServer1.settings.localport = typed_.udplocalport(setup);
    // A destination that is a multicast group is joined at the open.
    IdUDPServer1.settings.host = setup.tx_adr;
    IdUDPServer1.settings.hops = setup.udp_ttl;
    link(LinkKind::Udp).open();
    emit linkchanged(LinkKind::Udp, true);
    announce(LinkKind::Udp, Announcement::Opened);
}

void Session::udpclose() {
    link(LinkKind::Udp).close();
    emit linkchanged(LinkKind::Udp, false);
    announce(LinkKind::Udp, Announcement::Closed);
}

void Session::icmpon() {
    link(LinkKind::Icmp).open();
    emit linkchanged(LinkKind::Icmp, true);
    announce(LinkKind::Icmp, Announcement::Opened);
}

void Session::icmpoff() {
    link(LinkKind::Icmp).close();
    emit linkchanged(LinkKind::Icmp, false);
    announce(LinkKind::Icmp, Announcement::Closed);
}

const Session::KindSteps &Session::steps(LinkKind kind) {
    // In the selector's order: each kind's open, close, the address its
    // sends name, what a send reads from the set-up first, and what the
    // kind reports beside its received blocks.
    static const std::array<KindSteps, kindcount> table{{
        {&Session::serialopen, &Session::serialclose, &Session::serialaddress, nullptr,
         &Session::wireserial},
        {&Session::tcpclientopen, &Session::tcpclientclose, &Session::tcpclientaddress, nullptr,
         &Session::wiretcpclient},
        {&Session::tcpserveropen, &Session::tcpserverclose, &Session::tcpserveraddress, nullptr,
         &Session::wiretcpserver},
        {&Session::udpopen, &Session::udpclose, &Session::udpaddress, &Session::udpdestination,
         nullptr},
        {&Session::icmpon, &Session::icmpoff, &Session::icmpaddress, &Session::icmphost, nullptr},
    }};
    return table[static_cast<size_t>(kind)];
}

void Session::open(LinkKind kind) {
    if (kind != LinkKind::None)
        (this->*steps(kind).open)();
}

void Session::close(LinkKind kind) {
    if (kind != LinkKind::None)
        (this->*steps(kind).close)();
}

std::span<const LinkKind> Session::closeorder(Closing occasion) {
    using enum LinkKind;
    // A settings file chosen from the menu and the shutdown close in their
    // own orders (a connect button in its kind's, closeothers).
    static constexpr std::array settingsfile{Serial, TcpServer, TcpClient, Icmp, Udp};
    static constexpr std::array shutdown{TcpClient, Icmp, Udp, Serial};
    if (occasion == Closing::SettingsFile)
        return settingsfile;
    return shutdown;
}

void Session::closeall(Closing occasion) {
    // At the end no repeat may fire on a link that has just been closed.
    if (occasion == Closing::Shutdown)
        holdrepeats(true);
    for (LinkKind kind : closeorder(occasion))
        close(kind);
}

void Session::toggle(LinkKind kind, const std::function<void()> &beforeopen) {
    closeothers(kind);
    if (isengaged(kind)) {
        close(kind);
        return;
    }
    if (beforeopen)
        beforeopen();
    open(kind);
}

void Session::closeothers(LinkKind kind) {
    for (LinkKind other : kindinfo(kind).closesfirst)
        close(other);
}
