#include "udp_link.h"

#include "port_number.h"

#include "errors.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QNetworkDatagram>

UdpLink::UdpLink(QObject *parent) : QObject(parent) {
    connect(&socket_, &QUdpSocket::readyRead, this, &UdpLink::readpending);
    continuation_.setSingleShot(true);
    continuation_.setInterval(1);
    connect(&continuation_, &QTimer::timeout, this, &UdpLink::readpending);
}

void UdpLink::open(int port) {
    close();
    const quint16 local = portnumber(port);
    // No address sharing: a port another socket holds must fail to bind.
    if (socket_.bind(QHostAddress::AnyIPv4, local, QAbstractSocket::DontShareAddress))
        return;
    const auto error = socket_.error();
    const std::string reason = socket_.errorString().toStdString();
    socket_.close();
    if (error == QAbstractSocket::AddressInUseError)
        throw KrovanError("Could not bind socket. Address and port are already in use.");
    throw KrovanError("Could not bind socket. " + reason);
}

void UdpLink::close() {
    continuation_.stop();
    socket_.close();
}

bool UdpLink::isActive() const {
    return socket_.state() == QAbstractSocket::BoundState;
}

void UdpLink::readpending() {
    // While a continuation waits, the socket's own notice is left alone:
    // the notifier stays off until the next read, so the event loop goes
    // idle and its timers, paints and clicks get their turn.
    if (continuation_.isActive())
        return;
    // A bounded share per pass: under a flood the event loop still runs
    // between shares, so the window repaints and takes clicks.
    QElapsedTimer share;
    share.start();
    while (socket_.hasPendingDatagrams()) {
        if (share.elapsed() >= readShareMs) {
            continuation_.start();
            return;
        }
        // One byte more than the buffer tells an oversized datagram, which
        // is discarded, without asking the size first: a system call less
        // for every datagram.
        const QNetworkDatagram datagram = socket_.receiveDatagram(receiveBufferSize + 1);
        if (!datagram.isValid())
            break; // a failed receive is dropped; the level-triggered notifier brings the rest
        if (datagram.data().size() > receiveBufferSize)
            continue;
        emit datagramReceived(datagram.data(), datagram.senderAddress(),
                              static_cast<quint16>(datagram.senderPort()));
        // The handler may have closed the link.
        if (!isActive())
            return;
    }
}

QHostAddress UdpLink::resolve(const QString &host) {
    if (!literaltext_.isNull() && host == literaltext_)
        return literal_;
    QHostAddress address;
    if (address.setAddress(host.trimmed()) && address.protocol() == QAbstractSocket::IPv4Protocol) {
        literaltext_ = host;
        literal_ = address;
        return address;
    }
    const QHostInfo info = QHostInfo::fromName(host.trimmed());
    for (const QHostAddress &found : info.addresses())
        if (found.protocol() == QAbstractSocket::IPv4Protocol)
            return found;
    throw KrovanError("Cannot resolve host \"" + host.toStdString() + "\".");
}

void UdpLink::send(const std::string &bytes, const QString &host, int port) {
    const quint16 destination = portnumber(port);
    const QHostAddress address = resolve(host);
    const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const qint64 sent = socket_.writeDatagram(data, address, destination);
    if (sent < 0 && socket_.error() == QAbstractSocket::DatagramTooLargeError)
        throw KrovanError("Package Size Too Big.");
    if (sent < 0)
        throw KrovanError(socket_.errorString().toStdString());
    if (sent < data.size())
        throw KrovanError("Not all bytes sent.");
}
