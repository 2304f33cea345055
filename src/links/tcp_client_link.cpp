#include "tcp_client_link.h"

#include "errors.h"
#include "host_lookup.h"
#include "port_number.h"
#include "stream_write.h"

#include <QDeadlineTimer>

TcpClientLink::TcpClientLink(QObject *parent) : Link(parent) {
    // Qt stops reading from the system when this much is unread, so a fast
    // sender is held back by TCP itself instead of by our memory.
    socket_.setReadBufferSize(readShare);
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { pass_.request(); });
    // The loss is reported from the event loop, never from inside a read,
    // a write or a connect that Qt is carrying out for us.
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        const quint64 connection = connection_;
        QMetaObject::invokeMethod(
            this, [this, connection] { lost(connection); }, Qt::QueuedConnection);
    });
}

void TcpClientLink::open(const QString &host, int port) {
    settings = {host, port};
    open();
}

void TcpClientLink::open() {
    close();
    const quint16 remote = portnumber(settings.port);
    const QList<QHostAddress> addresses = lookuphosts(settings.host);
    try {
        connectonce(addresses, remote);
    } catch (const KrovanError &) {
        // A server that refuses or is silent may yet come; a host that does
        // not resolve is an error all the same.
        if (!reconnect_)
            throw;
        retry_.start();
        emit waitingstarted();
    }
}

void TcpClientLink::connectonce(const QList<QHostAddress> &addresses, quint16 remote) {
    QDeadlineTimer deadline(connectTimeout);
    std::string reason;
    // Address by address, as the resolver ordered them, all in one bound.
    for (const QHostAddress &address : addresses) {
        ++connection_;
        writes_ = {};
        socket_.connectToHost(address, remote);
        if (socket_.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            peer_ = addresstext(address, remote);
            emit opened();
            return;
        }
        const auto error = socket_.error();
        if (reason.empty() || error != QAbstractSocket::SocketTimeoutError)
            reason = error == QAbstractSocket::SocketTimeoutError
                         ? std::string("Connect timed out.")
                         : socket_.errorString().toStdString();
        drop();
        if (deadline.hasExpired())
            break;
    }
    throw KrovanError(reason);
}

void TcpClientLink::tryagain() {
    retry_.stop();
    try {
        // The host is looked up again: its address may have changed too.
        connectonce(lookuphosts(settings.host), portnumber(settings.port));
    } catch (const KrovanError &) {
        retry_.start();
    }
}

void TcpClientLink::close() {
    if (waiting()) {
        retry_.stop();
        emit closed(false);
        return;
    }
    if (drop())
        emit closed(false);
}

bool TcpClientLink::drop() {
    const bool was = isConnected();
    socket_.abort();
    // The disconnected signal that abort() may have sent belongs to the
    // connection that is now gone.
    ++connection_;
    return was;
}

void TcpClientLink::report(const QByteArray &bytes) {
    if (!bytes.isEmpty())
        emit received(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), peer_);
}

bool TcpClientLink::isConnected() const {
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void TcpClientLink::send(const std::string &bytes) {
    // A write that waits may read bytes into Qt's buffer on the way without
    // any notification: they get a pass of their own, however it ends.
    struct ReadAfter {
        TcpClientLink &link;
        ~ReadAfter() {
            if (link.socket_.bytesAvailable() > 0)
                link.pass_.request();
        }
    } readafter{*this};
    writeall(socket_, writes_, bytes);
}

void TcpClientLink::readshare() {
    if (!socket_.isOpen())
        return;
    // At most readShare bytes wait in Qt's buffer: one share per pass.
    report(socket_.read(readShare));
    // Whatever the handlers did, bytes still waiting (or read meanwhile by
    // a write that waited) get a pass of their own.
    if (socket_.bytesAvailable() > 0)
        pass_.request();
}

void TcpClientLink::lost(quint64 connection) {
    if (connection != connection_)
        return; // closed or replaced meanwhile
    // What the server sent before it closed is still readable; it goes
    // first. Qt holds at most one share of it.
    report(socket_.readAll());
    drop();
    // Waiting already while the loss is reported.
    if (reconnect_)
        retry_.start();
    emit closed(true);
    if (waiting())
        emit waitingstarted();
}
