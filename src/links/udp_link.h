#pragma once

#include "endpoint.h"
#include "link.h"
#include "multicast_group.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

// One UDP socket bound to all local addresses of both families at a local
// port: every received datagram is reported in arrival order, and sends
// leave from the same socket, so their source port is the local port. A
// destination that is a multicast group is joined at the open (and left at
// the close); sends to it get the hop limit `hops` and loop back to this
// machine.
//
// The socket is the system's own, not a QUdpSocket: a datagram costs one
// share of a batched receive and one send call, with no peek before each
// read, no address objects and no buffer allocated per datagram.
// Where the link listens and where its sends go.
struct UdpSettings {
    int localport = 0;
    QString host;
    int port = 0;
    // The hop limit of sends to a multicast group.
    int hops = 1;
};

class UdpLink : public Link {
    Q_OBJECT
public:
    // Largest datagram the program processes; a bigger one is discarded
    // unseen.
    static constexpr qint64 receiveBufferSize = 2048;
    // How long one pass may read before the event loop gets its turn.
    static constexpr qint64 readShareMs = 5;

    explicit UdpLink(QObject *parent = nullptr);
    ~UdpLink() override;

    UdpSettings settings;

    // Binds the socket at the local port; throws KrovanError when the port
    // cannot be bound.
    void open() override;
    void open(int port);
    void close() override;
    bool isOpen() const override { return isActive(); }
    bool isActive() const { return fd_ >= 0; }
    // The port bound, the one the system chose when opened on port 0.
    quint16 localPort() const { return localport_; }
    // Sends one datagram (an empty block gives an empty datagram). Resolves
    // a host name at every call (a literal address is parsed once while it
    // stays the same); throws KrovanError on any failure.
    void send(const std::string &bytes, const QString &host, int port);
    // Sends to the settings' destination.
    void send(const std::string &bytes) override;
    // While a batch of received datagrams is delivered, the answers wait
    // and leave together when it has been: one system call for a batch of
    // answers rather than one each. A send that cannot leave is then
    // reported by heldsent.
    bool holdssends() const override { return reading_; }
    void sendheld() override;

private:
    // Datagrams taken from the socket by one receive call.
    static constexpr int batchSize = 32;

    void readpending();
    // Reads and delivers until the socket is empty or the share is spent.
    void readshare();
    // Receives one batch; returns how many came, 0 when none waited.
    int receivebatch();
    bool askagain();
    void askedagain(bool found);
    // Reports datagram i of the last batch; false when the handler closed
    // or reopened the link.
    bool deliver(int i, unsigned generation);
    // The destination's address.
    QHostAddress resolve(const QString &host);
    void hold(const std::string &bytes, const Endpoint &to);

    int fd_ = -1;
    // The socket's family: AF_INET6 taking both, or AF_INET alone.
    int family_ = AF_INET6;
    std::unique_ptr<MulticastMembership> membership_;
    quint16 localport_ = 0;
    // Counts opens, so a delivery knows its batch came from this socket.
    unsigned generation_ = 0;
    // Raised while a batch is being delivered.
    bool reading_ = false;
    int missedasks_ = 0; // asks again in a row that found not one
    int skipasks_ = 0;   // passes left that do not ask again
    QSocketNotifier notifier_{QSocketNotifier::Read};
    // The next share of a flood, after the event loop has had its turn.
    QTimer continuation_;

    // The buffers and headers of one batched receive.
    struct Batch;
    const std::unique_ptr<Batch> batch_;
    // The datagram handed to the handler, its storage reused.
    std::string received_;

    // The sends held in the batch being delivered; the storage is reused.
    struct HeldSend {
        std::string bytes;
        Endpoint to;
    };
    std::vector<HeldSend> held_;
    std::size_t heldcount_ = 0;

    // The last destination text that was a literal IPv4 address, parsed:
    // a literal needs no look-up, so it is not parsed again at every send.
    QString literaltext_;
    QHostAddress literal_;
    // The text of the last datagram's sender, kept while it sends again.
    Endpoint lastsender_;
    QString lastsendertext_;
};
