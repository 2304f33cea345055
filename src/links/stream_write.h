#pragma once

#include <string>

class QTcpSocket;

// How long a write may hold the GUI thread for a peer that does not read.
constexpr int streamWriteTimeout = 5000;

// What the writes to one connection remember: a block that was not taken
// in time makes the peer stuck until it has taken every byte sent to it.
struct StreamWriteState {
    bool stuck = false;
};

// Writes every byte of a block to a connected TCP socket and returns when
// the system has accepted all of them. Throws KrovanError when the socket
// is not connected ("Not Connected"), on a socket error, or when the bytes
// are not accepted within the time-out. A block that could not be written
// in time makes the peer stuck: until the peer has taken every byte sent
// to it (the rest Qt holds and what the system has not yet had
// acknowledged), a write fails at once without queuing anything, so a peer
// that never reads can neither make the program's memory grow nor hold the
// GUI thread for more than one time-out.
void writeall(QTcpSocket &socket, StreamWriteState &state, const std::string &bytes,
              int timeoutms = streamWriteTimeout);
