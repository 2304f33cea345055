#pragma once

#include <QObject>
#include <QString>

#include <string>
#include <vector>

// What every link kind offers the program: it opens with the settings it
// holds, closes, says whether it is open, sends a block, and reports what
// it received and how it opened and closed. Each kind keeps its quirks
// inside (the serial port's pull of waiting bytes, the TCP server's last
// client, the ICMP echo that waits for its reply inside its send).
class Link : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens with the link's settings; throws KrovanError with the system's
    // reason when it cannot, and is then closed.
    virtual void open() = 0;
    // Closes, or stops waiting; reports closed(false) only when it was open
    // or waiting. Never fails.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // A link that comes back: when its device or server goes away, or is
    // not there at the open, it waits and tries again by itself instead of
    // closing (closed(true) still reports a loss, then waitingstarted).
    // Kinds that cannot wait ignore it. A wait under way goes on until it
    // succeeds or close() stops it.
    void setreconnect(bool on) { reconnect_ = on; }
    bool reconnect() const { return reconnect_; }
    // Waiting for the device or the server to come back: not open.
    virtual bool waiting() const { return false; }
    // Hands the block to the link; throws KrovanError with the reason when
    // it cannot.
    virtual void send(const std::string &bytes) = 0;
    // Whether a send now is held until the link's pass of reading ends,
    // to leave with the pass's other answers in one call; heldsent then
    // tells how they went.
    virtual bool holdssends() const { return false; }
    // Sends what is held now, reporting heldsent.
    virtual void sendheld() {}
    // A stream (TCP) reports bytes as they come, without the bounds of what
    // the peer sent; the program frames them into blocks. Other links report
    // one block per datagram, echo or serial notification.
    virtual bool stream() const { return false; }
    // While paused, a link that can hold its peer back reads nothing more
    // (the line's or the connection's own flow control then holds it);
    // the others cannot and read on.
    virtual void setpaused(bool) {}

signals:
    // A received block, or a stream's next bytes, and the address text of
    // where it came from; `bytes` is valid for the call only.
    void received(const std::string &bytes, const QString &from);
    void opened();
    // `bypeer`: the peer or the device ended it (not close()).
    void closed(bool bypeer);
    // A failure the link noticed by itself, as the log writes it.
    void failed(const QString &message);
    // The link began to wait for its device or server.
    void waitingstarted();
    // The sends held since the last report have gone; `failed` names each
    // one that could not leave by its place among them (from 0), in order.
    void heldsent(const std::vector<int> &failed);

protected:
    bool reconnect_ = false;
};
