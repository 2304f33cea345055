#include "tcp_server_link.h"

#include "errors.h"
#include "host_lookup.h"
#include "port_number.h"

#include <QElapsedTimer>
#include <QTcpSocket>

TcpServerLink::TcpServerLink(QObject *parent) : Link(parent) {
    server_.setListenBacklogSize(listenBacklog);
    connect(&server_, &QTcpServer::newConnection, this, &TcpServerLink::accept);
}

TcpServerLink::~TcpServerLink() {
    // The owner is going away: nothing may reach it any more.
    blockSignals(true);
    for (auto &[id, client] : clients_) {
        disconnect(client.socket, nullptr, this, nullptr);
        client.socket->abort();
    }
    server_.close();
}

void TcpServerLink::open(int port) {
    settingsport = port;
    open();
}

void TcpServerLink::open() {
    close();
    const quint16 local = portnumber(settingsport);
    // Both families on one socket; IPv4 alone where the system has no IPv6.
    if (server_.listen(QHostAddress::Any, local) || server_.listen(QHostAddress::AnyIPv4, local)) {
        emit opened();
        return;
    }
    const auto error = server_.serverError();
    const std::string reason = server_.errorString().toStdString();
    server_.close();
    if (error == QAbstractSocket::AddressInUseError)
        throw KrovanError("Could not bind socket. Address and port are already in use.");
    throw KrovanError("Could not bind socket. " + reason);
}

void TcpServerLink::close() {
    const bool was = isListening();
    // The last accepted first; a handler of the notification may not close
    // the server again while it is being closed, but take nothing for granted.
    while (!clients_.empty())
        endclient(std::prev(clients_.end())->first, true);
    ready_.clear();
    server_.close();
    if (was)
        emit closed(false);
}

void TcpServerLink::send(const std::string &bytes) {
    write(lastpeer_, bytes);
}

void TcpServerLink::report(const QByteArray &bytes, const QString &from) {
    if (!bytes.isEmpty())
        emit received(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), from);
}

bool TcpServerLink::isListening() const {
    return server_.isListening();
}

quint16 TcpServerLink::port() const {
    return server_.serverPort();
}

int TcpServerLink::clientCount() const {
    return static_cast<int>(clients_.size());
}

void TcpServerLink::accept() {
    while (server_.hasPendingConnections()) {
        QTcpSocket *socket = server_.nextPendingConnection();
        if (socket == nullptr)
            return;
        const ClientId id = ++nextid_;
        // Past this much unread, the system holds the client back.
        socket->setReadBufferSize(clientBufferSize);
        clients_.emplace(
            id, Client{socket, false, {}, addresstext(socket->peerAddress(), socket->peerPort())});
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { readable(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { endclient(id, false); });
        // A reset connection need not pass through "disconnected".
        connect(socket, &QTcpSocket::stateChanged, this,
                [this, id](QAbstractSocket::SocketState state) {
                    if (state == QAbstractSocket::UnconnectedState)
                        endclient(id, false);
                });
        lastpeer_ = id;
        emit clientConnected(id);
        // Bytes that came with the connection are already waiting.
        if (clients_.count(id) != 0 && socket->bytesAvailable() > 0)
            readable(id);
        if (!isListening())
            return; // a handler closed the server
    }
}

void TcpServerLink::readable(ClientId client) {
    const auto found = clients_.find(client);
    if (found == clients_.end() || found->second.waiting)
        return;
    found->second.waiting = true;
    ready_.push_back(client);
    if (!ready_.empty())
        pass_.request();
}

void TcpServerLink::pump() {
    QElapsedTimer clock;
    clock.start();
    while (!ready_.empty()) {
        const ClientId id = ready_.front();
        ready_.pop_front();
        const auto found = clients_.find(id);
        if (found == clients_.end())
            continue;
        Client &client = found->second;
        client.waiting = false;
        const QByteArray bytes = client.socket->read(readShare);
        // Still more: its next turn comes after every other waiting client.
        if (client.socket->bytesAvailable() > 0) {
            client.waiting = true;
            ready_.push_back(id);
        }
        // A copy: a handler may end the client, and its address with it.
        report(bytes, QString(client.address));
        if (pass_.paused() || clock.elapsed() >= passMilliseconds)
            break;
    }
    // The event loop runs before the next pass.
    if (!ready_.empty())
        pass_.request();
}

void TcpServerLink::endclient(ClientId client, bool abort) {
    const auto found = clients_.find(client);
    if (found == clients_.end())
        return;
    QTcpSocket *socket = found->second.socket;
    const QString address = found->second.address;
    clients_.erase(found);
    disconnect(socket, nullptr, this, nullptr);
    // What reached the program before the end is delivered, in order.
    const QByteArray rest = socket->read(socket->bytesAvailable());
    if (abort)
        socket->abort();
    // A write may be waiting on this socket further up the stack.
    socket->deleteLater();
    report(rest, address);
    emit clientDisconnected(client);
}

void TcpServerLink::write(ClientId client, const std::string &bytes, int timeoutms) {
    const auto found = clients_.find(client);
    if (found == clients_.end())
        throw KrovanError("Not Connected");
    QTcpSocket *socket = found->second.socket;
    // A write that waits may read the client's bytes into Qt's buffer on the
    // way without any notification: they get their turn, however it ends.
    struct ReadAfter {
        TcpServerLink &link;
        ClientId client;
        QTcpSocket *socket;
        ~ReadAfter() {
            if (link.clients_.count(client) != 0 && socket->bytesAvailable() > 0)
                link.readable(client);
        }
    } readafter{*this, client, socket};
    writeall(*socket, found->second.writes, bytes, timeoutms);
}
