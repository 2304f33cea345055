#include "stream_write.h"

#include "errors.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

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

} // namespace

void writeall(QTcpSocket &socket, const std::string &bytes, int timeoutms) {
    if (bytes.empty())
        return;
    if (!connected(socket))
        throw KrovanError("Not Connected");
    const QDeadlineTimer deadline(timeoutms);
    if (!drain(socket, deadline))
        throw KrovanError("Write timed out.");
    const qint64 queued = socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (queued != static_cast<qint64>(bytes.size()))
        throw KrovanError(socket.errorString().toStdString());
    if (!drain(socket, deadline))
        throw KrovanError("Write timed out.");
}
