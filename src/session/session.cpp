#include "session.h"

#include "bytes_text.h"
#include "errors.h"
#include "send_depth.h"

#include <QDateTime>

#include <array>
#include <cstdio>
#include <exception>
#include <utility>

namespace {

// The address the stream buffer's blocks are processed with.
const char *const streamaddress = "TCP-IP :500";

LogEntry errorentry(const QString &text, const QString &font) {
    LogEntry entry;
    entry.kind = LogEntry::Kind::Error;
    entry.time = QDateTime::currentMSecsSinceEpoch();
    entry.text = text;
    entry.font = font;
    return entry;
}

// The error line of a send that did not leave.
LogEntry sendfailure() {
    return errorentry("CHYBA: Nepovedlo se odeslat.", "MS Sans Serif");
}

void writetostderr(const QString &message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

Session::Session(QObject *parent) : QObject(parent), report(writetostderr) {
    setup.macros.push_back({"tx_1", "data_1", false, "1000"});
    setfilters({FilterSetup{}});
    wirelinks();
    // A sink that fell behind (a capture under a flood) pauses reading the
    // links that can hold their peer back, until every sink has caught up.
    connect(&entries_, &EntryFanout::holdback, this, [this](bool held) {
        for (Link *each : links_)
            each->setpaused(held);
    });
    entries_.onfailure = [this](const std::exception_ptr &failure) {
        guard([&] { std::rethrow_exception(failure); });
    };
    connect(&entries_, &EntryFanout::capturefailed, this, [this](const QString &message) {
        emit capturestopped();
        errorline("CHYBA: " + message);
        report(message);
    });
}

Session::~Session() {
    entries_.stopcapture();
    // The links may still report while they go; nothing of this object may
    // run then.
    for (Link *link : links_)
        disconnect(link, nullptr, this, nullptr);
    disconnect(&ApdComPort1, nullptr, this, nullptr);
    disconnect(&NetPort1, nullptr, this, nullptr);
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
    framers_[static_cast<size_t>(kind)] = each->stream() ? makeframer() : nullptr;
    connect(each, &Link::received, this,
            [this, kind](const std::string &bytes, const QString &from) {
                deliver(kind, bytes, from);
            });
    connect(each, &Link::failed, this, [this](const QString &message) { errorline(message); });
    connect(each, &Link::heldsent, this, &Session::heldsent);
    if (const auto own = steps(kind).wire)
        (this->*own)(*each);
}

std::unique_ptr<StreamFramer> Session::makeframer() {
    auto framer = std::make_unique<StreamFramer>();
    // A block that failed its filters is logged when it comes again.
    framer->handon = [this](const std::string &block) { rxprocess(block, streamaddress, false); };
    framer->guard = [this](const std::function<void()> &step) { guard(step); };
    return framer;
}

void Session::flushstreams() {
    for (const std::unique_ptr<StreamFramer> &framer : framers_)
        if (framer)
            guard([&] { framer->flush(); });
}

// What a block and its answer log reaches the sinks once the answer has
// left: a peer waiting for the answer does not wait for the windows.
void Session::deliver(LinkKind kind, const std::string &bytes, const QString &from) {
    entries_.hold();
    try {
        process(kind, bytes, from);
    } catch (...) {
        guard([this] { entries_.release(); });
        throw;
    }
    releaseentries();
}

// A block that came back inside a send is logged before the send returns;
// others may wait a moment for the next block.
void Session::releaseentries() {
    guard([this] {
        if (SendDepth::innermost())
            entries_.release();
        else
            entries_.releasesoon();
    });
}

void Session::process(LinkKind kind, const std::string &bytes, const QString &from) {
    if (StreamFramer *stream = framer(kind))
        return stream->feed(bytes);
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

void Session::linkstate(LinkKind kind, const QString &text) {
    if (setup.connection == static_cast<int>(kind))
        note(text);
}

void Session::note(const QString &text) {
    LogEntry entry;
    entry.kind = LogEntry::Kind::State;
    entry.time = QDateTime::currentMSecsSinceEpoch();
    entry.text = text;
    entries_.write(std::move(entry));
}

void Session::errorline(const QString &text, const QString &font) {
    entries_.write(errorentry(text, font));
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
    entries_.write(std::move(entry));
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
    if (calls.replyrow) {
        Arrival arrival(block);
        arrival.groups = calls.groups;
        try {
            send(calls.replyrow, &arrival);
        } catch (...) {
            emit processed(block);
            throw;
        }
    }
    emit processed(block);
}

QString Session::send(int n, const Arrival *arrival) {
    if (n < 1 || n > static_cast<int>(setup.macros.size()))
        return {};
    // A text that does not convert ends the send before anything is logged.
    const MacroSetup &macro = setup.macros[static_cast<size_t>(n - 1)];
    const bool hex = macro.hex;
    const QString kind = hex ? QStringLiteral("hex") : QString();
    const DataTemplate &data = macrotemplate_.get(
        macro.data, kind, [&] { return DataTemplate(toBytes(macro.data), hex); });

    const LinkKind link = activelink();
    if (link == LinkKind::None)
        return nolink();
    if (sendcounts_.size() < static_cast<size_t>(n))
        sendcounts_.resize(static_cast<size_t>(n));
    const std::uint64_t count = ++sendcounts_[static_cast<size_t>(n - 1)];
    return sendon(link, data.bytes(count, arrival));
}

QString Session::sendblock(const std::string &bytes) {
    const LinkKind link = activelink();
    if (link == LinkKind::None)
        return nolink();
    return sendon(link, bytes);
}

QString Session::nolink() {
    errorline("CHYBA: Žádné aktivní připojení");
    return "Žádné aktivní připojení";
}

QString Session::sendon(LinkKind link, const std::string &bytes) {
    // The record is written before the bytes leave, so it stays even when
    // the link then fails.
    record(Direction::Sent, bytes, sendaddress(link));

    const LinkKind now = activelink();
    if (now == LinkKind::None)
        return nolink();
    try {
        const SendDepth depth;
        const bool held = this->link(now).holdssends();
        linksend(now, bytes);
        depth.rethrowreply();
        if (held) {
            if (heldsends_.empty())
                entries_.hold();
            heldsends_.push_back(entries_.heldcount());
        }
    } catch (const std::exception &e) {
        entries_.write(sendfailure());
        const QString reason = QString::fromUtf8(e.what());
        return reason.isEmpty() ? QString("Nepovedlo se odeslat.") : reason;
    }
    return {};
}

void Session::heldsent(const std::vector<int> &failed) {
    if (heldsends_.empty())
        return;
    std::size_t added = 0;
    for (const int each : failed) {
        const auto n = static_cast<std::size_t>(each);
        const std::size_t at = n < heldsends_.size() ? heldsends_[n] : entries_.heldcount();
        entries_.insertheld(at + added++, sendfailure());
    }
    heldsends_.clear();
    releaseentries();
}

void Session::tell(const QString &message) {
    for (Link *each : links_)
        each->sendheld();
    // The failure being told goes first; a sink's own is dropped.
    (void)entries_.handoutheld();
    report(message);
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

bool Session::isengaged(LinkKind kind) const {
    return isopen(kind) || (kind != LinkKind::None && link(kind).waiting());
}

void Session::setreconnect(bool on) {
    setup.reconnect = on;
    for (Link *each : links_)
        each->setreconnect(on);
}

LinkKind Session::activelink() const {
    using enum LinkKind;
    // The order in which a send looks for an open link.
    static constexpr std::array<LinkKind, kindcount> sendorder{Serial, TcpServer, TcpClient, Udp,
                                                               Icmp};
    for (LinkKind kind : sendorder)
        if (isopen(kind))
            return kind;
    return None;
}
