#pragma once

#include "link.h"
#include "read_pass.h"
#include "retry.h"
#include "stream_write.h"

#include <QTcpSocket>

#include <string>

// Where the client connects.
struct TcpClientSettings {
    QString host = "localhost";
    int port = 500;
};

// A TCP connection to a server, event-driven on the thread that owns it.
// Received bytes are reported in arrival order, a few tens of kilobytes per
// pass of the event loop, so that no stream keeps the loop from other work.
// They are reported from a pass of its own, never from inside the socket's
// read notification: a handler that waits for a write (an answer) could
// otherwise leave bytes in the socket that no notification ever announces.
// When the server ends the connection, every byte it sent first has been
// reported before closed(true).
class TcpClientLink : public Link {
    Q_OBJECT
public:
    // Longest wait for a connection to be made.
    static constexpr int connectTimeout = 1000;
    // Bytes taken from the system per pass; also what Qt holds unread.
    static constexpr qint64 readShare = 64 * 1024;

    explicit TcpClientLink(QObject *parent = nullptr);

    TcpClientSettings settings;

    // Resolves the host, then connects, waiting at most connectTimeout ms
    // without running other events. Throws KrovanError with the reason when
    // the host is unknown, the connection is refused or not made in time;
    // a link that comes back waits for a refusing or silent server instead.
    void open() override;
    void open(const QString &host, int port);
    // Drops the connection at once (closed(false) when there was one), or
    // stops waiting.
    void close() override;
    bool isOpen() const override { return isConnected(); }
    bool waiting() const override { return retry_.waiting(); }
    // How often a waiting link tries to connect.
    static constexpr int retryInterval = 1000;
    bool isConnected() const;
    // Writes every byte and returns when the system has accepted them all,
    // waiting at most streamWriteTimeout ms. Throws KrovanError ("Not
    // Connected" when no connection is open).
    void send(const std::string &bytes) override;
    bool stream() const override { return true; }

    // While paused, nothing more is read: the system's flow control holds
    // the server back.
    void setpaused(bool paused) override { pass_.setpaused(paused); }

    // For tests: the socket itself (options, addresses).
    QTcpSocket &socket() { return socket_; }

private:
    // One connect, to each address in turn until one takes it, within
    // connectTimeout ms in all; throws KrovanError with the reason.
    void connectonce(const QList<QHostAddress> &addresses, quint16 remote);
    void tryagain();
    void readshare();
    void lost(quint64 connection);
    void report(const QByteArray &bytes);
    // Drops the connection; true when there was one.
    bool drop();

    QTcpSocket socket_;
    StreamWriteState writes_;
    ReadPass pass_{this, [this] { readshare(); }};
    Retry retry_{this, retryInterval, [this] { tryagain(); }};
    // The server's address, as received bytes name their source.
    QString peer_;
    // Counts connections, so that a loss noticed for one connection is not
    // reported for a later one.
    quint64 connection_ = 0;
};
