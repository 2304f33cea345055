#pragma once

#include "link.h"
#include "read_pass.h"
#include "stream_write.h"

#include <QTcpServer>

#include <deque>
#include <map>
#include <string>

class QTcpSocket;

// A TCP listening port on all local IPv4 addresses that accepts any number
// of clients on the GUI thread. Each client is known by an id that is never
// reused, so a holder of an id can never reach a released socket: writing
// to a client that has gone fails.
//
// Received bytes are read in bounded shares, the clients taking turns, and
// the event loop runs between passes: a client that floods cannot keep the
// window from repainting, nor hold back the bytes of the others. Each
// client's bytes are reported in its own order; the bytes of clients that
// send at the same time may interleave.
//
// A send goes to the last client that connected, and only to it: when that
// one has gone, the send fails.
class TcpServerLink : public Link {
    Q_OBJECT
public:
    using ClientId = quint64;
    // No client; no id a client is given.
    static constexpr ClientId noClient = 0;

    // Pending connections the system queues before the program takes them.
    static constexpr int listenBacklog = 15;
    // Bytes held per client before the system's flow control holds it back.
    static constexpr qint64 clientBufferSize = 64 * 1024;
    // Bytes taken from one client at its turn, and the time one pass may take.
    static constexpr qint64 readShare = 16 * 1024;
    static constexpr int passMilliseconds = 3;

    explicit TcpServerLink(QObject *parent = nullptr);
    // Stops listening and drops every client without reporting them.
    ~TcpServerLink() override;

    // The port listened on.
    int settingsport = 666;

    // Listens on the port; throws KrovanError when it cannot.
    void open() override;
    void open(int port);
    // Drops every client, the last accepted first (one clientDisconnected
    // each, its bytes already received reported before), then stops
    // listening. Never fails.
    void close() override;
    bool isOpen() const override { return isListening(); }
    bool isListening() const;
    // Writes to the last client that connected (see write).
    void send(const std::string &bytes) override;
    bool stream() const override { return true; }
    // The client whose connection was reported last; noClient before any.
    ClientId lastpeer() const { return lastpeer_; }
    // The port listened on (the chosen one when opened on port 0).
    quint16 port() const;
    int clientCount() const;

    // Writes every byte to the client, waiting at most the time-out for the
    // system to accept them (see writeall). Throws KrovanError ("Not
    // Connected") when the client has gone, or as writeall does.
    void write(ClientId client, const std::string &bytes, int timeoutms = streamWriteTimeout);

    // While paused, nothing more is read from any client: the system's
    // flow control holds them back.
    void setpaused(bool paused) override { pass_.setpaused(paused); }

signals:
    void clientConnected(TcpServerLink::ClientId client);
    void clientDisconnected(TcpServerLink::ClientId client);

private:
    void accept();
    void readable(ClientId client);
    void pump();
    // Reports what the client still holds, then the client's end; once.
    // Aborts the connection first when asked to.
    void endclient(ClientId client, bool abort);
    void report(const QByteArray &bytes, const QString &from);

    QTcpServer server_;
    struct Client {
        QTcpSocket *socket;
        bool waiting; // in ready_
        StreamWriteState writes;
        // Its address, as its bytes name their source.
        QString address;
    };
    // The connected clients in the order they were accepted.
    std::map<ClientId, Client> clients_;
    // Clients with bytes waiting, in turn.
    std::deque<ClientId> ready_;
    ReadPass pass_{this, [this] { pump(); }};
    ClientId nextid_ = noClient;
    ClientId lastpeer_ = noClient;
};
