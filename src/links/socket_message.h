#pragma once

#include <sys/socket.h>

#include <cstddef>

// The header of one recvmsg into one buffer, with room for the sender's
// address and the control messages (time-to-live, hop limit, errors).
inline msghdr messageheader(void *sender, socklen_t sendersize, iovec &io, void *control,
                            std::size_t controlsize) {
    msghdr message{};
    message.msg_name = sender;
    message.msg_namelen = sendersize;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = controlsize;
    return message;
}
