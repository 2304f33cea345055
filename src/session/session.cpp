#include "session.h"

#include "bytes_text.h"
#include "codec.h"
#include "errors.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <utility>

namespace {

// The address the stream buffer's blocks are processed with.
const char *const streamaddress = "TCP-IP :500";

// Sends under way at once. An echo's reply is answered inside the send, so
// a filter that answers its own echoed data would nest without end; the
// send beyond this depth fails instead and the chain unwinds.
constexpr int maxNestedSends = 16;

// A send under way on a link. A block the link receives inside it (an
// echo's reply) is processed there, and a failure to process it is the
// send's own failure.
class SendDepth {
public:
    SendDepth() : outer_(innermost_) {
        if (depth_ >= maxNestedSends)
            throw KrovanError("Too many nested sends.");
        ++depth_;
        innermost_ = this;
    }
    ~SendDepth() {
        --depth_;
        innermost_ = outer_;
    }
    SendDepth(const SendDepth &) = delete;
    SendDepth &operator=(const SendDepth &) = delete;

    static SendDepth *innermost() { return innermost_; }
    // The first failure of a reply processed inside this send.
    void keep(std::exception_ptr failure) {
        if (!replyfailure_)
            replyfailure_ = std::move(failure);
    }
    void rethrowreply() const {
        if (replyfailure_)
            std::rethrow_exception(replyfailure_);
    }

private:
    static inline int depth_ = 0;
    static inline SendDepth *innermost_ = nullptr;
    SendDepth *const outer_;
    std::exception_ptr replyfailure_;
};

void writetostderr(const QString &message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

Session::Session(QObject *parent) : QObject(parent), report(writetostderr) {
    setup.macros.push_back({"tx_1", "data_1", false, "1000"});
    setfilters({FilterSetup{}});
    wirelinks();
    Timer_rx.setObjectName("Timer_rx");
    Timer_rx.setInterval(100);
    connect(&Timer_rx, &QTimer::timeout, this, [this] { guard([this] { Timer_rxTimer(); }); });
    Timer_rx.start();
    catchup_.setInterval(10);
    connect(&catchup_, &QTimer::timeout, this, [this] {
        if (!sinksbehind())
            holdback(false);
    });
}

Session::~Session() {
    stopcapture();
    // The links may still report while they go; nothing of this object may
    // run then.
    for (Link *link : links_)
        disconnect(link, nullptr, this, nullptr);
}

void Session::wirelinks() {
    for (size_t kind = 0; kind < links_.size(); ++kind)
        wire(static_cast<LinkKind>(kind));
}

void Session::uselink(LinkKind kind, Link &replacement) {
    Link *&slot = links_[static_cast<size_t>(kind)];
    disconnect(slot, nullptr, this, nullptr);
    slot = &replacement;
    wire(kind);
}

void Session::wire(LinkKind kind) {
    Link *each = &link(kind);
    connect(each, &Link::received, this,
            [this, each](const std::string &bytes, const QString &from) {
                deliver(*each, bytes, from);
            });
    connect(each, &Link::failed, this, [this](const QString &message) { errorline(message); });
    if (const auto own = steps(kind).wire)
        (this->*own)(*each);
}

void Session::wireserial(Link &port) {
    connect(&port, &Link::opened, this, [this] { guard([this] { serialopened(); }); });
    connect(&port, &Link::closed, this, [this](bool bypeer) {
        guard([this] { serialclosed(); });
        if (!bypeer)
            return;
        // The device went away and its port was closed.
        emit seriallost();
        emit linkchanged(LinkKind::Serial, false);
    });
}

void Session::wiretcpclient(Link &client) {
    connect(&client, &Link::closed, this, [this](bool bypeer) {
        if (bypeer)
            guard([this] { tcpclientdisconnected(); });
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

void Session::deliver(const Link &link, const std::string &bytes, const QString &from) {
    if (link.stream())
        return rxappend(bytes.data(), static_cast<qsizetype>(bytes.size()));
    SendDepth *send = SendDepth::innermost();
    if (!send)
        return guard([&] { rxprocess(bytes, from); });
    try {
        rxprocess(bytes, from);
    } catch (...) {
        send->keep(std::current_exception());
    }
}

void Session::setfilters(std::vector<FilterSetup> filters) {
    setup.filters = std::move(filters);
    filters_.set(setup.filters);
}

QString Session::filterproblem(int n) const {
    return filters_.problem(n);
}

void Session::startcapture(const QString &path, qint64 limit) {
    stopcapture();
    capture_ = std::make_unique<CaptureFile>(path, limit);
    addsink(capture_.get());
    connect(capture_.get(), &CaptureFile::failed, this, [this](const QString &message) {
        // The file reporting is gone only once its report has returned.
        CaptureFile *broken = capture_.release();
        removesink(broken);
        broken->deleteLater();
        emit capturestopped();
        errorline("CHYBA: " + message);
        report(message);
    });
}

void Session::stopcapture() {
    if (!capture_)
        return;
    removesink(capture_.get());
    // Whatever waits reaches the file before it is closed.
    capture_.reset();
}

void Session::addsink(LogSink *sink) {
    sinks_.push_back(sink);
}

void Session::removesink(LogSink *sink) {
    std::erase(sinks_, sink);
}

void Session::emitentry(const LogEntry &entry) {
    for (LogSink *sink : sinks_)
        sink->write(entry);
    if (!heldback_ && sinksbehind())
        holdback(true);
}

bool Session::sinksbehind() const {
    return std::any_of(sinks_.begin(), sinks_.end(),
                       [](const LogSink *sink) { return sink->behind(); });
}

void Session::holdback(bool held) {
    heldback_ = held;
    for (Link *each : links_)
        each->setpaused(held);
    if (held)
        catchup_.start();
    else
        catchup_.stop();
}

void Session::linkstate(LinkKind kind, const QString &text) {
    if (setup.connection != static_cast<int>(kind))
        return;
    LogEntry entry;
    entry.kind = LogEntry::Kind::State;
    entry.time = QDateTime::currentMSecsSinceEpoch();
    entry.text = text;
    emitentry(entry);
}

void Session::errorline(const QString &text, const QString &font) {
    LogEntry entry;
    entry.kind = LogEntry::Kind::Error;
    entry.time = QDateTime::currentMSecsSinceEpoch();
    entry.text = text;
    entry.font = font;
    emitentry(entry);
}

void Session::record(Direction direction, const std::string &bytes, const QString &address,
                     const QStringList &macros) {
    LogEntry entry;
    entry.kind = LogEntry::Kind::Record;
    entry.time = QDateTime::currentMSecsSinceEpoch();
    entry.direction = direction;
    entry.bytes = bytes;
    entry.address = address;
    entry.macros = macros;
    emitentry(entry);
}

// ---- the stream buffer ----

void Session::rxappend(const char *data, qsizetype size) {
    rxbuffer.feed(std::string_view(data, static_cast<size_t>(size)));
    if (rxbuffer.dueatlimit() == 0 || rxbusy)
        return;
    // A failure ends the loop; the bytes wait for the next tick.
    guard([this] {
        while (const size_t n = rxbusy ? 0 : rxbuffer.dueatlimit())
            rxhandon(n);
    });
}

void Session::rxreset() {
    // rxbusy is raised only for the length of a tick and always lowered
    // when it ends, so outside a tick it is already down.
    rxbuffer.restart();
}

void Session::rxhandon(size_t n) {
    rxbusy = true;
    struct Lower {
        bool &flag;
        ~Lower() { flag = false; }
    } lower{rxbusy};
    // A failing rxprocess throws past here: the bytes stay and come again
    // later; they are logged then.
    rxprocess(std::string(rxbuffer.front(n)), streamaddress, false);
    rxbuffer.handedon(n);
}

void Session::rxflush() {
    // A failure ends the loop; the bytes wait for the next tick.
    while (!rxbusy && !rxbuffer.empty())
        rxhandon(std::min(rxbuffer.size(), GapFramer::limit));
}

void Session::Timer_rxTimer() {
    // An error box inside rxprocess runs a nested event loop, so the tick
    // can come round again while it is busy: it never starts inside itself.
    if (rxbusy)
        return;
    if (const size_t n = rxbuffer.tick())
        rxhandon(n);
}

// ---- receive and send ----

void Session::rxprocess(const std::string &block, const QString &address, bool logfailed) {
    FilterSet::Calls calls;
    try {
        calls = filters_.match(block, setup.macros);
    } catch (...) {
        // The block itself is not lost for a filter's malformed text.
        if (logfailed)
            record(Direction::Received, block, address);
        throw;
    }
    record(Direction::Received, block, address, calls.macros);
    if (calls.replyrow)
        send(calls.replyrow);
}

void Session::send(int n) {
    if (n < 1 || n > static_cast<int>(setup.macros.size()))
        return;
    // A text that does not convert ends the send before anything is logged.
    const MacroSetup &macro = setup.macros[static_cast<size_t>(n - 1)];
    const bool hex = macro.hex;
    const QString kind = hex ? QStringLiteral("hex") : QString();
    const std::string bytes = macrobytes_.get(macro.data, kind, [&] {
        const std::string text = toBytes(macro.data);
        return hex ? hextostr(text) : wildtostr(text);
    });

    const LinkKind link = activelink();
    if (link == LinkKind::None)
        return errorline("CHYBA: Žádné aktivní připojení");
    // The record is written before the bytes leave, so it stays even when
    // the link then fails.
    record(Direction::Sent, bytes, sendaddress(link));

    const LinkKind now = activelink();
    if (now == LinkKind::None)
        return errorline("CHYBA: Žádné aktivní připojení");
    try {
        const SendDepth depth;
        linksend(now, bytes);
        depth.rethrowreply();
    } catch (const std::exception &) {
        errorline("CHYBA: Nepovedlo se odeslat.", "MS Sans Serif");
    }
}

RepeatTimer *Session::repeattimer(int n) {
    if (n < 1)
        return nullptr;
    if (repeats_.size() < static_cast<size_t>(n))
        repeats_.resize(static_cast<size_t>(n));
    std::unique_ptr<RepeatTimer> &timer = repeats_[static_cast<size_t>(n - 1)];
    if (!timer) {
        timer = std::make_unique<RepeatTimer>();
        timer->setObjectName("Timer1");
        // A send that fails is reported and the timer keeps running.
        connect(timer.get(), &QTimer::timeout, this, [this, n] { guard([=, this] { send(n); }); });
    }
    return timer.get();
}

void Session::holdrepeats(bool held) {
    for (const std::unique_ptr<RepeatTimer> &timer : repeats_)
        if (timer)
            timer->hold(held);
}

bool Session::isopen(LinkKind kind) const {
    return kind != LinkKind::None && link(kind).isOpen();
}

LinkKind Session::activelink() const {
    using enum LinkKind;
    // The order in which a send looks for an open link.
    static constexpr std::array<LinkKind, 5> sendorder{Serial, TcpServer, TcpClient, Udp, Icmp};
    for (LinkKind kind : sendorder)
        if (isopen(kind))
            return kind;
    return None;
}

QString Session::sendaddress(LinkKind kind) const {
    return kind == LinkKind::None ? QString() : (this->*steps(kind).sendaddress)();
}

QString Session::serialaddress() const {
    return "COM" + QString::number(ApdComPort1.number());
}

QString Session::tcpserveraddress() const {
    return tcpserveraddress_.get(setup.tcp_s_p, {}, [&] { return "localhost : " + setup.tcp_s_p; });
}

QString Session::tcpclientaddress() const {
    return tcpclientaddress_.get(setup.tcp_c_a, setup.tcp_c_p,
                                 [&] { return setup.tcp_c_a + " : " + setup.tcp_c_p; });
}

QString Session::udpaddress() const {
    return udpaddress_.get(setup.tx_adr, setup.tx_port,
                           [&] { return setup.tx_adr + " : " + setup.tx_port; });
}

QString Session::icmpaddress() const {
    return setup.icmp_a;
}

void Session::udpdestination() {
    IdUDPServer1.settings.host = setup.tx_adr;
    IdUDPServer1.settings.port =
        udpport_.get(setup.tx_port, {}, [&] { return strtoint(toBytes(setup.tx_port)); });
}

void Session::icmphost() {
    IdIcmpClient1.host = toBytes(setup.icmp_a);
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

void Session::serialopenasset() {
    serialopen(ApdComPort1.number(), ApdComPort1.baud(), ApdComPort1.databits());
}

void Session::serialopen(int number, int baud, int databits) {
    ApdComPort1.setnumber(number);
    ApdComPort1.setbaud(baud);
    ApdComPort1.setdatabits(databits);
    link(LinkKind::Serial).open();
    emit linkchanged(LinkKind::Serial, isopen(LinkKind::Serial));
}

void Session::serialclose() {
    link(LinkKind::Serial).close();
    emit linkchanged(LinkKind::Serial, false);
}

void Session::serialopened() {
    if (setup.connection != static_cast<int>(LinkKind::Serial))
        return;
    emit connectionstate(" RS232 připojen");
    linkstate(LinkKind::Serial, "COM" + QString::number(ApdComPort1.number()) + " připojen...");
}

void Session::serialclosed() {
    if (setup.connection != static_cast<int>(LinkKind::Serial))
        return;
    emit connectionstate(" odpojen");
    linkstate(LinkKind::Serial, "COM" + QString::number(ApdComPort1.number()) + " odpojen...");
}

void Session::tcpclientopen() {
    IdTCPClient1.settings = {setup.tcp_c_a, strtoint(toBytes(setup.tcp_c_p))};
    link(LinkKind::TcpClient).open();
    tcpclientconnected();
}

void Session::tcpclientconnected() {
    emit linkchanged(LinkKind::TcpClient, true);
    emit connectionstate(" TCP klient připojen");
    linkstate(LinkKind::TcpClient, "TCP klient připojen");
    // The link reads as soon as the event loop runs again.
    rxreset();
}

void Session::tcpclientdisconnected() {
    emit linkchanged(LinkKind::TcpClient, false);
    emit connectionstate(" odpojen");
    linkstate(LinkKind::TcpClient, "TCP klient odpojen");
}

void Session::tcpclientclose() {
    link(LinkKind::TcpClient).close();
    // Disconnecting runs the disconnected notification every time, also
    // when no connection was open. Nothing of the connection is read after.
    tcpclientdisconnected();
}

void Session::tcpserveropen() {
    IdTCPServer1.settingsport = strtoint(toBytes(setup.tcp_s_p));
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
    IdUDPServer1.settings.localport = strtoint(toBytes(setup.rx_port));
    link(LinkKind::Udp).open();
    emit connectionstate(" UDP připojen");
    emit linkchanged(LinkKind::Udp, true);
    linkstate(LinkKind::Udp, "UDP server připojen");
}

void Session::udpclose() {
    link(LinkKind::Udp).close();
    emit connectionstate(" odpojen");
    emit linkchanged(LinkKind::Udp, false);
    linkstate(LinkKind::Udp, "UDP server odpojen");
}

void Session::icmpon() {
    link(LinkKind::Icmp).open();
    emit linkchanged(LinkKind::Icmp, true);
    emit connectionstate(" ICMP připojen");
    linkstate(LinkKind::Icmp, "ICMP aktivní");
}

void Session::icmpoff() {
    link(LinkKind::Icmp).close();
    emit linkchanged(LinkKind::Icmp, false);
    emit connectionstate(" odpojen");
    linkstate(LinkKind::Icmp, "ICMP odpojen");
}

const Session::KindSteps &Session::steps(LinkKind kind) {
    // In the selector's order: each kind's open, close, the address its
    // sends name, what a send reads from the set-up first, and what the
    // kind reports beside its received blocks.
    static const std::array<KindSteps, 5> table{{
        {&Session::serialopenasset, &Session::serialclose, &Session::serialaddress, nullptr,
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
    // Each connect button closes the other four kinds in its own order
    // before it toggles its own; a settings file chosen from the menu and
    // the shutdown close in theirs.
    static const std::array<LinkKind, 4> beforeserial{TcpClient, TcpServer, Icmp, Udp};
    static const std::array<LinkKind, 4> beforetcpclient{Serial, TcpServer, Icmp, Udp};
    static const std::array<LinkKind, 4> beforetcpserver{Serial, TcpClient, Icmp, Udp};
    static const std::array<LinkKind, 4> beforeudp{Serial, TcpServer, TcpClient, Icmp};
    static const std::array<LinkKind, 4> beforeicmp{Serial, TcpServer, TcpClient, Udp};
    static const std::array<LinkKind, 5> settingsfile{Serial, TcpServer, TcpClient, Icmp, Udp};
    static const std::array<LinkKind, 4> shutdown{TcpClient, Icmp, Udp, Serial};
    switch (occasion) {
    case Closing::BeforeSerial:
        return beforeserial;
    case Closing::BeforeTcpClient:
        return beforetcpclient;
    case Closing::BeforeTcpServer:
        return beforetcpserver;
    case Closing::BeforeUdp:
        return beforeudp;
    case Closing::BeforeIcmp:
        return beforeicmp;
    case Closing::SettingsFile:
        return settingsfile;
    case Closing::Shutdown:
        return shutdown;
    }
    return {};
}

void Session::closeall(Closing occasion) {
    // At the end no repeat may fire on a link that has just been closed.
    if (occasion == Closing::Shutdown)
        holdrepeats(true);
    for (LinkKind kind : closeorder(occasion))
        close(kind);
}
