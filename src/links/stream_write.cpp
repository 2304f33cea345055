#include "stream_write.h"

#include "errors.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <sys/ioctl.h>
#if defined(__linux__)
#include <linux/sockios.h>
#endif

namespace {

bool connected(const QTcpSocket &socket) {
    return socket.state() == QAbstractSocket::ConnectedState;
}

// Waits until Qt's write buffer is empty; false when time ran out.
bool drain(QTcpSocket &socket, const QDeadlineTimer &deadline) {
    while (socket.bytesToWrite() > 0) {
        if (!connected(socket))
            throw KrovanError("Not Connected");
        if (deadline.hasExpired())
            return false;
        socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

// Bytes the system holds for the peer that it has not acknowledged yet.
int unacknowledged(const QTcpSocket &socket) {
    int queued = 0;
#if defined(__linux__)
    if (::ioctl(static_cast<int>(socket.socketDescriptor()), SIOCOUTQ, &queued) != 0)
        return 0;
#endif
    return queued;
}

// Whether the peer has taken everything sent to it, the rest of a block
// that timed out included.
bool takenall(QTcpSocket &socket) {
    if (socket.bytesToWrite() > 0)
        socket.flush();
    return socket.bytesToWrite() == 0 && unacknowledged(socket) == 0;
}

} // namespace

void writeall(QTcpSocket &socket, StreamWriteState &state, const std::string &bytes,
              int timeoutms) {
    if (bytes.empty())
        return;
    if (!connected(socket))
        throw KrovanError("Not Connected");
    // A peer that let a block time out: while it has not taken all of it, a
    // further write fails at once instead of holding the GUI thread for
    // another full time-out (a repeating macro would freeze it). A peer that
    // takes a little now and then must not earn a new wait with each crumb.
    if (state.stuck) {
        if (!takenall(socket))
            throw KrovanError("Write timed out.");
        state.stuck = false;
    }
    const QDeadlineTimer deadline(timeoutms);
    const qint64 queued = socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (queued != static_cast<qint64>(bytes.size()))
        throw KrovanError(socket.errorString().toStdString());
    if (!drain(socket, deadline)) {
        state.stuck = true;
        throw KrovanError("Write timed out.");
    }
    // A reset while the block waited empties Qt's buffer as it drops the
    // connection: the bytes did not go, so the send must not pass.
    if (!connected(socket))
        throw KrovanError(socket.error() == QAbstractSocket::UnknownSocketError
                              ? std::string("Not Connected")
                              : socket.errorString().toStdString());
}
