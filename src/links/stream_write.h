#pragma once

#include <string>

class QTcpSocket;

// How long a write may hold the GUI thread for a peer that does not read.
constexpr int streamWriteTimeout = 5000;

// Writes every byte of a block to a connected TCP socket and returns when
// the system has accepted all of them. Throws KrovanError when the socket
// is not connected ("Not Connected"), on a socket error, or when the bytes
// are not accepted within the time-out. A block that could not be written
// in time is not followed by another: while its rest is still there, the
// next write fails at once without queuing anything, so a peer that never
// reads can neither make the program's memory grow nor hold the GUI thread
// for more than one time-out.
void writeall(QTcpSocket &socket, const std::string &bytes, int timeoutms = streamWriteTimeout);
