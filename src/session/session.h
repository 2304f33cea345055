#pragma once

// The program's work without windows: a link of each kind, each stream
// link's framer, the receive processing with its filters and automatic replies,
// the send of a macro row, the open and close of each link kind with their
// state records, and every log entry handed to the sinks. The windows are a
// view of it; a run without windows drives it alone.

#include "data_template.h"
#include "entry_fanout.h"
#include "failure_guard.h"
#include "filter_set.h"
#include "icmp_link.h"
#include "link_kind.h"
#include "link_kinds.h"
#include "link_setups.h"
#include "log_entry.h"
#include "repeat_timer.h"
#include "rfc2217_link.h"
#include "serial_link.h"
#include "setup.h"
#include "stream_framer.h"
#include "tcp_client_link.h"
#include "tcp_server_link.h"
#include "text_memo.h"
#include "udp_link.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject *parent = nullptr);
    ~Session() override;

    // The set-up the work reads. The windows keep it current as the user
    // edits; a change of the filter rows goes through setfilters.
    Setup setup;
    void setfilters(std::vector<FilterSetup> filters);
    // Why filter row n (counted from 1) cannot be used as it stands (an
    // escape that does not convert, an expression that does not compile);
    // empty when it can.
    QString filterproblem(int n) const;

    // The link of a kind (not None).
    Link &link(LinkKind kind) const { return *links_[static_cast<size_t>(kind)]; }
    // The kind's link as its own class (tests and benchmarks read its details).
    template <class Kind> Kind &linkas(LinkKind kind) const {
        return dynamic_cast<Kind &>(link(kind));
    }
    // Puts another link in the place of a kind (a test's link): the session
    // opens, closes, sends and receives through it from now on. The kind's
    // own settings are still filled as its open and send read them.
    void uselink(LinkKind kind, Link &replacement);
    // The framer that cuts a stream kind's bytes into blocks; null for a
    // kind whose link gives blocks.
    StreamFramer *framer(LinkKind kind) const { return framers_[static_cast<size_t>(kind)].get(); }
    // Hands on everything every stream framer holds (the run's end is due).
    void flushstreams();

    // Sinks take every entry in order; they must outlive their subscription.
    void addsink(LogSink *sink) { entries_.add(sink); }
    void removesink(LogSink *sink) { entries_.remove(sink); }

    // Runs an operation of the session's own events so that no exception
    // crosses the event loop: a failure goes to `report`, and the session
    // goes on. The windows show it in an error box; by default it is
    // written to standard error.
    std::function<void(const QString &message)> report;
    template <class Operation> void guard(Operation &&operation) {
        guardwith([this](const QString &message) { tell(message); },
                  std::forward<Operation>(operation));
    }

    // The link a send uses: the first open kind in the fixed order serial,
    // TCP server, TCP client, UDP, ICMP; None when nothing is open.
    LinkKind activelink() const;
    bool isopen(LinkKind kind) const;
    // Open, or waiting to come back: what the connect button offers to end.
    bool isengaged(LinkKind kind) const;
    // Whether links come back by themselves (see Link::setreconnect); kept
    // in the set-up and given to every link, open or not.
    void setreconnect(bool on);

    // Sends macro row n (counted from 1) once on the active link; throws
    // the conversion error of its data text. `arrival` is the block (and
    // the filter's groups) it answers, null for a send no block triggered.
    // A send that failed (no active link, the link refused) is recorded;
    // its reason is returned, empty when the bytes went.
    QString send(int n, const Arrival *arrival = nullptr);
    // Sends bytes as they are on the active link, with their record, as a
    // macro's send does once its text is converted; as send, the reason it
    // failed or empty.
    QString sendblock(const std::string &bytes);
    // The repeat timer of macro row n: each tick sends the row.
    RepeatTimer *repeattimer(int n);
    // Holds every repeat timer (the shutdown's close does, so that no repeat
    // fires on a closed link), or lets them run as set again.
    void holdrepeats(bool held);

    // Opens a kind on the set-up's settings (a serial port on the one chosen
    // last), with its records and state changes; a failed open throws and
    // leaves the kind closed. Closes a kind, with its records.
    void open(LinkKind kind);
    void close(LinkKind kind);
    // What a connect button does: closes the kinds it closes first, then
    // closes its kind when it is engaged and opens it when not, after
    // `beforeopen` (the windows choose the serial port there).
    void toggle(LinkKind kind, const std::function<void()> &beforeopen = {});
    // The serial port and settings the next serial open uses: a port named
    // rfc2217://HOST:PORT is reached across the network, any other by its
    // number or device path.
    void chooseserial(const SerialSettings &settings);
    // Opens serial port `number` and closes it again, with the records of
    // both (the detection's probe); whether it opened.
    bool probeserial(int number);

    // The occasions that close links, and in which order (one table).
    enum class Closing { SettingsFile, Shutdown };
    void closeall(Closing occasion);

    // Entries: an error line; a data record.
    void errorline(const QString &text, const QString &font = QString());
    // A state line whatever kind is selected (a script's own records).
    void note(const QString &text);
    void record(Direction direction, const std::string &bytes, const QString &address,
                const QStringList &macros = {});

    // The capture of every entry to a file (appending); a failure to open
    // throws. A file that stops taking entries stops the capture with an
    // error line and a report.
    void startcapture(const QString &path, qint64 limit) { entries_.startcapture(path, limit); }
    void stopcapture() { entries_.stopcapture(); }

signals:
    // The capture stopped by itself.
    void capturestopped();
    // A kind was opened or closed: captions and enabled controls follow.
    void linkchanged(LinkKind kind, bool open);
    // What the window title says of the link now (" UDP připojen", ...).
    void connectionstate(const QString &suffix);
    // The serial device went away and its port was closed.
    void seriallost();
    // A received block went through the receive processing: its filters
    // answered and it was logged. `block` is valid for the call only.
    void processed(const std::string &block);

private:
    // Where a send on that link goes, as its record names it.
    QString sendaddress(LinkKind link) const;
    // Hands the bytes to the link; throws KrovanError on failure.
    void linksend(LinkKind link, const std::string &bytes);
    // Compares one received block with the active filters, logs it and
    // answers it; throws the conversion error of a failing filter. A block
    // whose filters fail is still logged first (without macro calls),
    // unless `logfailed` is off.
    void rxprocess(const std::string &block, const QString &address, bool logfailed = true);
    // The order in which an occasion closes the kinds.
    static std::span<const LinkKind> closeorder(Closing occasion);
    // Closes what the kind's connect button closes before it toggles its
    // own kind, in that order (the kinds' table).
    void closeothers(LinkKind kind);
    // A state record, written only while the set-up selects that kind.
    void linkstate(LinkKind kind, const QString &text);
    // The links, each kind's own class; the serial kind's link is the port
    // or the network port, as the choice of port says.
    SerialLink ApdComPort1;
    Rfc2217Link NetPort1;
    TcpClientLink IdTCPClient1;
    TcpServerLink IdTCPServer1;
    UdpLink IdUDPServer1;
    IcmpLink IdIcmpClient1;
    // Whether the ICMP permission failure has been reported once.
    bool icmpreasonshown = false;
    FilterSet filters_;
    void wirelinks();
    void wire(LinkKind kind);
    // A framer whose blocks go through the receive processing.
    std::unique_ptr<StreamFramer> makeframer();
    void wireserial(Link &port);
    void wiretcpclient(Link &client);
    void wiretcpserver(Link &server);
    // A block or a stream's bytes one of the links received.
    void deliver(LinkKind kind, const std::string &bytes, const QString &from);
    void process(LinkKind kind, const std::string &bytes, const QString &from);
    void releaseentries();
    // Records the bytes as sent to `link`, then hands them to the link that
    // is active now (the record's sinks may have closed it).
    QString sendon(LinkKind link, const std::string &bytes);
    // A link's held sends have gone: the error line of each that failed is
    // put after its record, and the held entries go to the sinks.
    void heldsent(const std::vector<int> &failed);
    // Reports a failure after what came before it has gone: the held
    // answers leave and the held entries reach the sinks before an error
    // box waits for the user.
    void tell(const QString &message);
    // Records that no link is active; the reason.
    QString nolink();
    // Each kind's own open and close.
    void serialopen();
    void serialclose();
    void tcpclientopen();
    void tcpclientclose();
    void tcpserveropen();
    void tcpserverclose();
    void udpopen();
    void udpclose();
    void icmpon();
    void icmpoff();
    void tcpclientconnected();
    void tcpclientdisconnected();
    void serialopened();
    void serialclosed();
    // The title and the state record of a kind that opened, closed or
    // started to wait, as the kinds' table words them.
    enum class Announcement { Opened, Closed, Waiting };
    void announce(LinkKind kind, Announcement what);
    // Each kind's own steps, looked up by kind.
    struct KindSteps {
        void (Session::*open)();
        void (Session::*close)();
        QString (Session::*sendaddress)() const;
        // Reads what a send needs from the set-up; may be null.
        void (Session::*beforesend)();
        // Connects what the kind reports besides blocks; may be null.
        void (Session::*wire)(Link &link);
    };
    static const KindSteps &steps(LinkKind kind);
    QString serialaddress() const;
    QString tcpserveraddress() const;
    QString tcpclientaddress() const;
    QString udpaddress() const;
    QString icmpaddress() const;
    void udpdestination();
    void icmphost();

    // A framer for each kind whose link is a stream.
    std::array<std::unique_ptr<StreamFramer>, kindcount> framers_;
    std::vector<std::unique_ptr<RepeatTimer>> repeats_;
    EntryFanout entries_;
    // Where the record of each send a link holds ends among the held
    // entries; the entries stay held until the link tells how they went.
    std::vector<std::size_t> heldsends_;
    // The links by kind, in the selector's order.
    std::array<Link *, kindcount> links_{&ApdComPort1, &IdTCPClient1, &IdTCPServer1, &IdUDPServer1,
                                         &IdIcmpClient1};
    // What a send converts from the set-up's texts, kept while they stay.
    // The last data text sent, converted, and how often each row was sent.
    TextMemo<DataTemplate> macrotemplate_;
    std::vector<std::uint64_t> sendcounts_;
    // The network kinds' settings read from the set-up's texts.
    LinkSetups typed_;
};
