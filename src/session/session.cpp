#include "session.h"

#include "bytes_text.h"
#include "codec.h"
#include "errors.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <cstdio>

namespace {

// The address the stream buffer's blocks are processed with.
const char *const streamaddress = "TCP-IP :500";

// Sends under way at once. An echo's reply is answered inside the send, so
// a filter that answers its own echoed data would nest without end; the
// send beyond this depth fails instead and the chain unwinds.
constexpr int maxNestedSends = 16;

class SendDepth {
public:
    explicit SendDepth(int &depth) : depth_(depth) {
        if (depth_ >= maxNestedSends)
            throw KrovanError("Too many nested sends.");
        ++depth_;
    }
    ~SendDepth() { --depth_; }
    SendDepth(const SendDepth &) = delete;
    SendDepth &operator=(const SendDepth &) = delete;

private:
    int &depth_;
};

int sendsunderway = 0;

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
    for (QObject *link : std::initializer_list<QObject *>{&ApdComPort1, &IdTCPClient1,
                                                          &IdTCPServer1, &IdUDPServer1})
        disconnect(link, nullptr, this, nullptr);
}

void Session::wirelinks() {
    connect(&IdTCPServer1, &TcpServerLink::clientConnected, this,
            [this](TcpServerLink::ClientId client) {
                guard([&] {
                    linkstate(LinkKind::TcpServer, "TCP server připojen...");
                    emit connectionstate(" TCP server připojen");
                    lastpeer = client;
                });
            });
    connect(&IdTCPServer1, &TcpServerLink::clientDisconnected, this, [this] {
        guard([this] {
            linkstate(LinkKind::TcpServer, "TCP server odpojen...");
            emit connectionstate(" odpojen");
        });
    });
    connect(&IdTCPServer1, &TcpServerLink::received, this,
            [this](const QByteArray &bytes) { rxappend(bytes.constData(), bytes.size()); });

    connect(&IdTCPClient1, &TcpClientLink::received, this, [this](const QByteArray &data) {
        if (!readerstop)
            rxappend(data.constData(), data.size());
    });
    connect(&IdTCPClient1, &TcpClientLink::peerClosed, this,
            [this] { guard([this] { tcpclientdisconnected(); }); });

    connect(&ApdComPort1, &SerialLink::portOpened, this, [this] { guard([this] { serialopened(); }); });
    connect(&ApdComPort1, &SerialLink::portClosed, this, [this] { guard([this] { serialclosed(); }); });
    connect(&ApdComPort1, &SerialLink::triggerAvail, this, [this](qint64 count) {
        guard([=, this] {
            const std::string block = ApdComPort1.take(count);
            rxprocess(block, "COM" + QString::number(ApdComPort1.number()));
        });
    });
    connect(&ApdComPort1, &SerialLink::portLost, this, [this] {
        emit seriallost();
        emit linkchanged(LinkKind::Serial, false);
    });

    connect(&IdUDPServer1, &UdpLink::datagramReceived, this,
            [this](const std::string &data, quint32 sender, quint16 port) {
                guard([&] { udpreceived(data, sender, port); });
            });
}

void Session::setfilters(std::vector<FilterSetup> filters) {
    setup.filters = std::move(filters);
    std::vector<Filter> compiled;
    for (size_t i = 0; i < setup.filters.size(); ++i) {
        const FilterSetup &row = setup.filters[i];
        // A row keeps its compiled pattern while the text, HEX box and mode
        // it was made from stay.
        const bool same = i < compiled_.size() && compiled_[i].text == row.filter &&
                          compiled_[i].hex == row.hex && compiled_[i].mode == row.mode;
        compiled.push_back(same ? std::move(compiled_[i]) : compilefilter(row));
        compiled.back().macro = row.macro;
    }
    compiled_ = std::move(compiled);
    filters_.clear();
    for (size_t i = 0; i < compiled_.size(); ++i) {
        const Filter &filter = compiled_[i];
        // An expression that cannot be used takes no part in matching.
        if (setup.filters[i].active &&
            (filter.converted || filter.mode != MatchMode::Expression))
            filters_.push_back(&filter);
    }
}

Session::Filter Session::compilefilter(const FilterSetup &row) {
    Filter filter;
    filter.text = row.filter;
    filter.hex = row.hex;
    filter.mode = row.mode;
    if (row.mode == MatchMode::Expression) {
        // The typed text becomes bytes the way every typed text does.
        filter.problem = QString::fromStdString(filter.expression.compile(toBytes(row.filter)));
        filter.converted = filter.problem.isEmpty();
        return filter;
    }
    try {
        const std::string text = toBytes(row.filter);
        filter.pattern = row.hex ? hextostr(text) : wildtostr(text);
        filter.converted = true;
    } catch (const std::exception &e) {
        // Raised when a block is compared, as an unconverted text is.
        filter.error = e.what();
        filter.problem = QString::fromUtf8(e.what());
    }
    return filter;
}

bool Session::matches(const Filter &filter, const std::string &block, BlockBytes &bytes) {
    const std::string &pattern = filter.pattern;
    const std::size_t size = pattern.size();
    switch (filter.mode) {
    case MatchMode::Begins:
        return size <= block.size() && std::memcmp(block.data(), pattern.data(), size) == 0;
    case MatchMode::Contains:
        return block.find(pattern) != std::string::npos;
    case MatchMode::Ends:
        return size <= block.size() &&
               std::memcmp(block.data() + block.size() - size, pattern.data(), size) == 0;
    case MatchMode::Equals:
        return block == pattern;
    case MatchMode::Expression:
        break;
    }
    // Made once a block, for the first expression that needs it.
    if (!bytes.made) {
        bytes.made = true;
        bytes.present = bytespresent(block);
    }
    return filter.expression.matches(block, bytes.present);
}

QString Session::filterproblem(int n) const {
    return n >= 1 && n <= static_cast<int>(compiled_.size())
               ? compiled_[static_cast<size_t>(n - 1)].problem
               : QString();
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

void Session::addsink(LogSink *sink) { sinks_.push_back(sink); }

void Session::removesink(LogSink *sink) { std::erase(sinks_, sink); }

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
    ApdComPort1.setpaused(held);
    IdTCPClient1.setpaused(held);
    IdTCPServer1.setpaused(held);
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
    int replyrow = 0;
    QStringList macros;
    BlockBytes bytes;
    for (const Filter *active : filters_) {
        const Filter &filter = *active;
        if (!filter.converted) {
            // The block itself is not lost for a filter's malformed text.
            if (logfailed)
                record(Direction::Received, block, address);
            throw KrovanError(filter.error);
        }
        if (!matches(filter, block, bytes))
            continue;
        for (size_t m = 0; m < setup.macros.size(); ++m) {
            if (setup.macros[m].describe != filter.macro)
                continue;
            replyrow = static_cast<int>(m + 1);
            macros << filter.macro;
        }
    }
    record(Direction::Received, block, address, macros);
    if (replyrow)
        send(replyrow);
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
        const SendDepth depth(sendsunderway);
        linksend(now, bytes);
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
    switch (kind) {
    case LinkKind::Serial:
        return ApdComPort1.isOpen();
    case LinkKind::TcpServer:
        return IdTCPServer1.isListening();
    case LinkKind::TcpClient:
        return IdTCPClient1.isConnected();
    case LinkKind::Udp:
        return IdUDPServer1.isActive();
    case LinkKind::Icmp:
        return icmpactive;
    default:
        return false;
    }
}

LinkKind Session::activelink() const {
    for (LinkKind kind : {LinkKind::Serial, LinkKind::TcpServer, LinkKind::TcpClient,
                          LinkKind::Udp, LinkKind::Icmp})
        if (isopen(kind))
            return kind;
    return LinkKind::None;
}

QString Session::sendaddress(LinkKind link) const {
    switch (link) {
    case LinkKind::Serial:
        return "COM" + QString::number(ApdComPort1.number());
    case LinkKind::TcpServer:
        return tcpserveraddress_.get(setup.tcp_s_p, {},
                                     [&] { return "localhost : " + setup.tcp_s_p; });
    case LinkKind::TcpClient:
        return tcpclientaddress_.get(setup.tcp_c_a, setup.tcp_c_p,
                                     [&] { return setup.tcp_c_a + " : " + setup.tcp_c_p; });
    case LinkKind::Udp:
        return udpaddress_.get(setup.tx_adr, setup.tx_port,
                               [&] { return setup.tx_adr + " : " + setup.tx_port; });
    case LinkKind::Icmp:
        return setup.icmp_a;
    default:
        return QString();
    }
}

void Session::linksend(LinkKind link, const std::string &bytes) {
    switch (link) {
    case LinkKind::Serial:
        return ApdComPort1.send(bytes);
    case LinkKind::TcpServer:
        // Only the last client to connect; one that has gone fails the send.
        return IdTCPServer1.write(lastpeer, bytes);
    case LinkKind::TcpClient:
        return IdTCPClient1.send(bytes);
    case LinkKind::Udp:
        return IdUDPServer1.send(
            bytes, setup.tx_adr,
            udpport_.get(setup.tx_port, {}, [&] { return strtoint(toBytes(setup.tx_port)); }));
    case LinkKind::Icmp:
        return icmpsend(bytes);
    default:
        throw KrovanError("No link is open.");
    }
}

void Session::udpreceived(const std::string &data, quint32 sender, quint16 port) {
    if (lastsendertext_.isNull() || port != lastsenderport_ || sender != lastsender_) {
        lastsender_ = sender;
        lastsenderport_ = port;
        lastsendertext_ = QHostAddress(sender).toString() + ":" + QString::number(port);
    }
    rxprocess(data, lastsendertext_);
}

void Session::icmpsend(const std::string &bytes) {
    IdIcmpClient1.host = toBytes(setup.icmp_a);
    IdIcmpClient1.onreply = [this](const icmp::Reply &status) { icmpreply(status); };
    try {
        IdIcmpClient1.ping(bytes);
    } catch (const IcmpPermissionError &error) {
        // Every echo fails alike; the reason is worth one report per run.
        if (!icmpreasonshown) {
            icmpreasonshown = true;
            report(QString::fromStdString(error.what()));
        }
        throw;
    }
}

void Session::icmpreply(const icmp::Reply &status) {
    if (status.kind != icmp::Kind::Echo) {
        errorline("CHYBA - nepřišla odpověď.");
        return;
    }
    const std::string data = icmp::replydata(status);
    rxprocess(data, "ICMP " + QString::fromStdString(status.sender) + " - " +
                        QString::number(data.size()) + "bajtů");
}

// ---- opening and closing ----

void Session::serialopen(int number, int baud, int databits) {
    ApdComPort1.setnumber(number);
    ApdComPort1.setbaud(baud);
    ApdComPort1.setdatabits(databits);
    ApdComPort1.open();
    emit linkchanged(LinkKind::Serial, ApdComPort1.isOpen());
}

void Session::serialclose() {
    ApdComPort1.close();
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
    readerstop = false;
    const QString host = setup.tcp_c_a;
    const int port = strtoint(toBytes(setup.tcp_c_p));
    IdTCPClient1.open(host, port);
    tcpclientconnected();
}

void Session::tcpclientconnected() {
    emit linkchanged(LinkKind::TcpClient, true);
    emit connectionstate(" TCP klient připojen");
    linkstate(LinkKind::TcpClient, "TCP klient připojen");
    // The link reads as soon as the event loop runs again: that is the
    // reader of this connection.
    rxreset();
}

void Session::tcpclientdisconnected() {
    emit linkchanged(LinkKind::TcpClient, false);
    emit connectionstate(" odpojen");
    linkstate(LinkKind::TcpClient, "TCP klient odpojen");
}

void Session::tcpclientclose() {
    IdTCPClient1.close();
    // Disconnecting runs the disconnected notification every time, also
    // when no connection was open.
    tcpclientdisconnected();
    readerstop = true;
}

void Session::tcpserveropen() {
    IdTCPServer1.open(strtoint(toBytes(setup.tcp_s_p)));
    // No title and no record: those come with the clients.
    emit linkchanged(LinkKind::TcpServer, true);
}

void Session::tcpserverclose() {
    // Every client is dropped (one disconnected notification each), then
    // listening stops; nothing here waits and nothing fails.
    IdTCPServer1.close();
    emit linkchanged(LinkKind::TcpServer, false);
}

void Session::udpopen() {
    IdUDPServer1.open(strtoint(toBytes(setup.rx_port)));
    emit connectionstate(" UDP připojen");
    emit linkchanged(LinkKind::Udp, true);
    linkstate(LinkKind::Udp, "UDP server připojen");
}

void Session::udpclose() {
    IdUDPServer1.close();
    emit connectionstate(" odpojen");
    emit linkchanged(LinkKind::Udp, false);
    linkstate(LinkKind::Udp, "UDP server odpojen");
}

void Session::icmpon() {
    icmpactive = true;
    emit linkchanged(LinkKind::Icmp, true);
    emit connectionstate(" ICMP připojen");
    linkstate(LinkKind::Icmp, "ICMP aktivní");
}

void Session::icmpoff() {
    icmpactive = false;
    emit linkchanged(LinkKind::Icmp, false);
    emit connectionstate(" odpojen");
    linkstate(LinkKind::Icmp, "ICMP odpojen");
}

void Session::open(LinkKind kind) {
    switch (kind) {
    case LinkKind::Serial:
        return serialopen(ApdComPort1.number(), ApdComPort1.baud(), ApdComPort1.databits());
    case LinkKind::TcpClient:
        return tcpclientopen();
    case LinkKind::TcpServer:
        return tcpserveropen();
    case LinkKind::Udp:
        return udpopen();
    case LinkKind::Icmp:
        return icmpon();
    default:
        return;
    }
}

void Session::close(LinkKind kind) {
    switch (kind) {
    case LinkKind::Serial:
        return serialclose();
    case LinkKind::TcpClient:
        return tcpclientclose();
    case LinkKind::TcpServer:
        return tcpserverclose();
    case LinkKind::Udp:
        return udpclose();
    case LinkKind::Icmp:
        return icmpoff();
    default:
        return;
    }
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
    for (LinkKind kind : closeorder(occasion))
        close(kind);
}
