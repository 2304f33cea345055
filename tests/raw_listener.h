#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A listening socket of the test's own that never accepts: the system
// completes connections into its queue and buffers what they send, up to
// the small receive buffer given.
class RawListener {
public:
    explicit RawListener(int backlog, int receivebuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receivebuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receivebuffer, sizeof receivebuffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr *>(&local), sizeof local);
        ::listen(fd_, backlog);
        socklen_t length = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~RawListener() { ::close(fd_); }
    int fd() const { return fd_; }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};
