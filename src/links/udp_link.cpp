#include "udp_link.h"

#include "errors.h"
#include "host_lookup.h"
#include "multicast_group.h"
#include "port_number.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

std::string bindreason(int error) {
    switch (error) {
    case EADDRINUSE:
        return "Address and port are already in use.";
    case EACCES:
        return "The address is protected";
    case EADDRNOTAVAIL:
        return "The address is not available";
    default:
        return std::strerror(error);
    }
}

} // namespace

struct UdpLink::Batch {
    std::array<std::array<char, receiveBufferSize>, batchSize> buffers{};
    std::array<sockaddr_storage, batchSize> senders{};
    std::array<iovec, batchSize> vectors{};
    std::array<mmsghdr, batchSize> messages{};
    // The held answers' headers, for one send call.
    std::array<iovec, batchSize> outvectors{};
    std::array<mmsghdr, batchSize> outmessages{};
};

UdpLink::UdpLink(QObject *parent) : Link(parent), batch_(std::make_unique<Batch>()) {
    for (int i = 0; i < batchSize; ++i) {
        batch_->vectors[i] = {batch_->buffers[i].data(), batch_->buffers[i].size()};
        batch_->messages[i].msg_hdr.msg_iov = &batch_->vectors[i];
        batch_->messages[i].msg_hdr.msg_iovlen = 1;
    }
    notifier_.setEnabled(false);
    connect(&notifier_, &QSocketNotifier::activated, this, &UdpLink::readpending);
    continuation_.setSingleShot(true);
    continuation_.setInterval(1);
    connect(&continuation_, &QTimer::timeout, this, [this] {
        notifier_.setEnabled(true);
        readpending();
    });
}

UdpLink::~UdpLink() {
    blockSignals(true);
    close();
}

void UdpLink::open(int port) {
    settings.localport = port;
    open();
}

void UdpLink::open() {
    close();
    const quint16 local = portnumber(settings.localport);
    // The group is read first: a destination naming a missing interface
    // fails before any socket is made.
    const std::optional<MulticastGroup> group = multicastgroup(settings.host);
    // One socket for both families; IPv4 alone where the system has no
    // IPv6. A blocking socket: a send waits for room in the send buffer
    // rather than losing an answer; every receive asks not to wait.
    int family = AF_INET6;
    int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 && errno == EAFNOSUPPORT) {
        family = AF_INET;
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }
    if (fd < 0)
        throw KrovanError("Could not bind socket. " + bindreason(errno));
    // A test console sends to a subnet's broadcast address as to any other.
    const int on = 1, off = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    Endpoint address(family == AF_INET6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, local);
    // No address sharing: a port another socket holds must fail to bind.
    if (::bind(fd, address.sockaddress(), address.length()) < 0) {
        const int error = errno;
        ::close(fd);
        throw KrovanError("Could not bind socket. " + bindreason(error));
    }
    try {
        if (group)
            membership_ = std::make_unique<MulticastMembership>(fd, family, *group, settings.hops);
    } catch (...) {
        ::close(fd);
        throw;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    fd_ = fd;
    family_ = family;
    localport_ = Endpoint::fromsystem(bound, length).port();
    ++generation_;
    notifier_.setSocket(fd_);
    notifier_.setEnabled(true);
    emit opened();
}

void UdpLink::close() {
    continuation_.stop();
    if (fd_ < 0)
        return;
    // Answers given before the close leave before it.
    sendheld();
    notifier_.setEnabled(false);
    // The group is left before its socket goes.
    membership_.reset();
    ::close(fd_);
    fd_ = -1;
    localport_ = 0;
    emit closed(false);
}

void UdpLink::readpending() {
    // While a continuation waits, the notifier is off, so the event loop
    // goes idle and its timers, paints and clicks get their turn.
    if (continuation_.isActive() || fd_ < 0)
        return;
    // A handler that runs an event loop of its own (an error box) must not
    // have the batch it is delivering read over: what comes meanwhile
    // waits in the socket until the handler returns.
    if (reading_) {
        notifier_.setEnabled(false);
        return;
    }
    reading_ = true;
    const unsigned generation = generation_;
    readshare();
    reading_ = false;
    if (fd_ >= 0 && generation == generation_ && !continuation_.isActive())
        notifier_.setEnabled(true);
}

void UdpLink::readshare() {
    // A bounded share per pass: under a flood the event loop still runs
    // between shares, so the window repaints and takes clicks.
    QElapsedTimer share;
    share.start();
    const unsigned generation = generation_;
    bool again = false; // this receive asks again after answers
    for (;;) {
        const int count = receivebatch();
        if (again)
            askedagain(count == 1);
        if (count == 0)
            return;
        // A handler that closed or reopened the link sent what was held.
        for (int i = 0; i < count; ++i)
            if (!deliver(i, generation))
                return;
        const bool answered = heldcount_ > 0;
        sendheld();
        // A batch that was not full emptied the socket; the notifier tells
        // when more comes. But a peer that was answered a lone datagram may
        // have asked again already; one that keeps several on the way is
        // answered in larger batches when its next ones come together.
        again = count < batchSize;
        if (again && !(count == 1 && answered && askagain()))
            return;
        if (share.elapsed() >= readShareMs) {
            notifier_.setEnabled(false);
            continuation_.start();
            return;
        }
    }
}

// Asking again after an answer finds a quick peer's next datagram without a
// wait in the event loop. Where it finds nothing, or several (a peer that
// keeps more on the way), the next passes skip it, more of them after each
// such ask in a row.
bool UdpLink::askagain() {
    if (skipasks_ == 0)
        return true;
    --skipasks_;
    return false;
}

void UdpLink::askedagain(bool found) {
    missedasks_ = found ? 0 : std::min(missedasks_ + 1, 6);
    skipasks_ = (1 << missedasks_) - 1;
}

int UdpLink::receivebatch() {
    for (int i = 0; i < batchSize; ++i) {
        batch_->messages[i].msg_hdr.msg_name = &batch_->senders[i];
        batch_->messages[i].msg_hdr.msg_namelen = sizeof batch_->senders[i];
    }
    const int count = ::recvmmsg(fd_, batch_->messages.data(), batchSize, MSG_DONTWAIT, nullptr);
    // Nothing waiting, or a failed receive: the level-triggered notifier
    // brings whatever comes next.
    return count > 0 ? count : 0;
}

bool UdpLink::deliver(int i, unsigned generation) {
    const mmsghdr &message = batch_->messages[i];
    // Longer than the buffer: discarded.
    if (message.msg_hdr.msg_flags & MSG_TRUNC)
        return true;
    received_.assign(batch_->buffers[i].data(), message.msg_len);
    const Endpoint sender = Endpoint::fromsystem(batch_->senders[i], message.msg_hdr.msg_namelen);
    if (lastsendertext_.isNull() || !(sender == lastsender_)) {
        lastsender_ = sender;
        lastsendertext_ = sender.text();
    }
    emit received(received_, lastsendertext_);
    // The handler may have closed the link, or opened it anew.
    return fd_ >= 0 && generation == generation_;
}

QHostAddress UdpLink::resolve(const QString &host) {
    if (!literaltext_.isNull() && host == literaltext_)
        return literal_;
    if (const std::optional<QHostAddress> literal = literaladdress(host)) {
        literaltext_ = host;
        literal_ = *literal;
        return literal_;
    }
    return lookuphost(host);
}

void UdpLink::send(const std::string &bytes) {
    send(bytes, settings.host, settings.port);
}

void UdpLink::send(const std::string &bytes, const QString &host, int port) {
    const quint16 destination = portnumber(port);
    const Endpoint to = Endpoint(resolve(host), destination).forfamily(family_);
    if (fd_ < 0)
        throw KrovanError("No link is open.");
    if (holdssends())
        return hold(bytes, to);
    ssize_t sent;
    do
        sent = ::sendto(fd_, bytes.data(), bytes.size(), 0, to.sockaddress(), to.length());
    while (sent < 0 && errno == EINTR);
    if (sent < 0 && errno == EMSGSIZE)
        throw KrovanError("Package Size Too Big.");
    if (sent < 0)
        throw KrovanError(std::strerror(errno));
    if (static_cast<size_t>(sent) < bytes.size())
        throw KrovanError("Not all bytes sent.");
}

void UdpLink::hold(const std::string &bytes, const Endpoint &to) {
    if (heldcount_ == batchSize)
        sendheld();
    if (held_.size() == heldcount_)
        held_.emplace_back();
    held_[heldcount_].bytes.assign(bytes);
    held_[heldcount_].to = to;
    ++heldcount_;
}

void UdpLink::sendheld() {
    if (heldcount_ == 0)
        return;
    const std::size_t count = std::exchange(heldcount_, 0);
    for (std::size_t i = 0; i < count; ++i) {
        HeldSend &send = held_[i];
        batch_->outvectors[i] = {send.bytes.data(), send.bytes.size()};
        msghdr &header = batch_->outmessages[i].msg_hdr;
        header = msghdr{};
        header.msg_iov = &batch_->outvectors[i];
        header.msg_iovlen = 1;
        header.msg_name = send.to.sockaddress();
        header.msg_namelen = send.to.length();
    }
    std::vector<int> failed;
    // A datagram that fails is reported and the next ones still go.
    for (std::size_t done = 0; done < count;) {
        const int sent = ::sendmmsg(fd_, batch_->outmessages.data() + done,
                                    static_cast<unsigned>(count - done), 0);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            failed.push_back(static_cast<int>(done++));
            continue;
        }
        for (int i = 0; i < sent; ++i, ++done)
            if (batch_->outmessages[done].msg_len < held_[done].bytes.size())
                failed.push_back(static_cast<int>(done));
    }
    emit heldsent(failed);
}
