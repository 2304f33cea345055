#pragma once

// A plain UDP socket on 127.0.0.1 for the benchmarks of the windows, and
// the sustained answer rate it measures.
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

// The peer: a plain socket on 127.0.0.1 in its own thread, so that the
// program's event loop runs undisturbed on the main thread.
class Peer {
public:
    Peer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int big = 8 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr *>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~Peer() { ::close(fd_); }

    int port() const { return port_; }
    void target(int port) {
        target_.sin_family = AF_INET;
        target_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target_.sin_port = htons(static_cast<uint16_t>(port));
    }

    void send(const char *data, size_t size) {
        ::sendto(fd_, data, size, 0, reinterpret_cast<sockaddr *>(&target_), sizeof target_);
    }

    // Waits up to the time-out for one reply; false on time-out.
    bool receive(int timeoutms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutms) <= 0)
            return false;
        char buffer[9000];
        return ::recv(fd_, buffer, sizeof buffer, 0) >= 0;
    }

    int drain() {
        int count = 0;
        char buffer[9000];
        while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0)
            ++count;
        return count;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    sockaddr_in target_{};
};

// Answers a second with `inflight` requests always under way.
inline double sustained(Peer &peer, std::string_view request, int inflight, int seconds) {
    for (int i = 0; i < inflight; ++i)
        peer.send(request.data(), request.size());
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    long answered = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (!peer.receive(1000))
            break;
        const int got = 1 + peer.drain();
        answered += got;
        for (int i = 0; i < got; ++i)
            peer.send(request.data(), request.size());
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    while (peer.receive(200))
        peer.drain();
    return answered / elapsed;
}
