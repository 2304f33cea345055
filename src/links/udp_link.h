#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <string>

// One UDP socket bound to all local IPv4 addresses at a local port: every
// received datagram is reported in arrival order, and sends leave from the
// same socket, so their source port is the local port.
class UdpLink : public QObject {
    Q_OBJECT
public:
    // Largest datagram the program processes; a bigger one is discarded
    // unseen.
    static constexpr qint64 receiveBufferSize = 2048;
    // How long one pass may read before the event loop gets its turn.
    static constexpr qint64 readShareMs = 5;

    explicit UdpLink(QObject *parent = nullptr);

    // Binds the socket; throws KrovanError when the port cannot be bound.
    void open(int port);
    void close();
    bool isActive() const;
    // The port bound, the one the system chose when opened on port 0.
    quint16 localPort() const { return socket_.localPort(); }
    // Sends one datagram (an empty block gives an empty datagram). Resolves
    // a host name at every call (a literal address is parsed once while it
    // stays the same); throws KrovanError on any failure.
    void send(const std::string &bytes, const QString &host, int port);

signals:
    void datagramReceived(const QByteArray &data, const QHostAddress &sender, quint16 senderPort);

private:
    void readpending();
    QHostAddress resolve(const QString &host);

    // The last destination text that was a literal IPv4 address, parsed:
    // a literal needs no look-up, so it is not parsed again at every send.
    QString literaltext_;
    QHostAddress literal_;

    QUdpSocket socket_;
    // The next share of a flood, after the event loop has had its turn.
    QTimer continuation_;
};
