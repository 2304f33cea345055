#pragma once

#include "link.h"
#include "read_pass.h"
#include "retry.h"
#include "serial_link.h"
#include "stream_write.h"
#include "telnet.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <array>
#include <optional>
#include <string>

// A serial port on a network serial server, named rfc2217://HOST:PORT (an
// IPv6 address in brackets): HOST a name or an address, PORT 1 to 65535.
struct NetworkPort {
    QString host;
    quint16 port = 0;
};
// Whether a port's name is a network port's (its scheme, whatever follows).
bool isnetworkport(const QString &name);
// The host and port of a network port's name; nothing when it is malformed.
std::optional<NetworkPort> networkport(const QString &name);

// A serial port reached through a Telnet connection with the COM-PORT option
// (RFC 2217): the client asks for BINARY both ways, SUPPRESS-GO-AHEAD and
// offers COM-PORT-OPTION, then sets the rate, the data bits, no parity, one
// stop bit and no flow control. Every other option is refused. Data go out
// with 0xFF doubled and come in undoubled, the server's commands taken out
// wherever a read splits them; its line and modem state notifications are
// taken silently.
//
// The open waits at most connectTimeout ms for the connection and then at
// most negotiationTimeout ms for the server to take the settings: a server
// that never acknowledges them does not hold the open up longer, and the
// data flow. A server that ends the connection is a device that went away:
// a link that comes back waits and tries again every retryInterval ms.
// Received bytes are reported in bounded shares per pass, one block each,
// named by the port's name as the serial port's blocks are by its number.
class Rfc2217Link : public Link {
    Q_OBJECT
public:
    static constexpr int connectTimeout = 1000;
    static constexpr int negotiationTimeout = 1000;
    static constexpr int retryInterval = 500;
    static constexpr qint64 readShare = 64 * 1024;
    // The Telnet options it uses.
    static constexpr unsigned char binary = 0, suppressgoahead = 3, comport = 44;

    explicit Rfc2217Link(QObject *parent = nullptr);

    // The port (its name in `device`), rate and frame of the next open.
    void setsettings(const SerialSettings &settings) { settings_ = settings; }
    const SerialSettings &settings() const { return settings_; }
    // The name the records give the port.
    QString name() const { return settings_.device; }

    // Connects and negotiates; throws KrovanError when the name is malformed,
    // the host unknown, or the connection refused or not made in time (a
    // link that comes back waits instead for a server that is not there).
    void open() override;
    void close() override;
    bool isOpen() const override;
    bool waiting() const override { return retry_.waiting(); }
    // Writes every byte (0xFF doubled) as the TCP client does; throws
    // KrovanError when it cannot.
    void send(const std::string &bytes) override;
    void setpaused(bool paused) override { pass_.setpaused(paused); }

    // Whether the server took the COM-PORT option and acknowledged the rate.
    bool comportaccepted() const { return mine_[comport] == State::On; }
    bool rateacknowledged() const { return rateacknowledged_; }

private:
    enum class State : unsigned char { Off, Asked, On, Refused };

    void connectonce();
    // Offers the options, sets the line once COM-PORT is taken, and waits
    // for the rate's acknowledgement, at most negotiationTimeout ms.
    void negotiate();
    void sendsettings();
    void negotiation(unsigned char verb, unsigned char option);
    // One side's option after the server asked (DO, WILL) or refused (DONT,
    // WONT) it; the verb to answer with (`yes` or `no`), or 0 for none.
    static unsigned char settle(State &state, bool asked, bool supported, unsigned char yes,
                                unsigned char no);
    void subnegotiation(unsigned char option, const std::string &payload);
    // Runs the bytes through the Telnet reader; their data wait in data_.
    void take(const QByteArray &bytes);
    void readshare();
    void report();
    void lost(quint64 connection);
    void tryagain();
    bool drop();

    SerialSettings settings_;
    QTcpSocket socket_;
    StreamWriteState writes_;
    telnet::Reader reader_;
    // Received data not yet reported.
    std::string data_;
    // What each option stands at on this side (WILL) and the server's (DO).
    std::array<State, 256> mine_{}, theirs_{};
    bool settingssent_ = false;
    bool rateacknowledged_ = false;
    quint64 connection_ = 0;
    ReadPass pass_{this, [this] { readshare(); }};
    Retry retry_{this, retryInterval, [this] { tryagain(); }};
};
