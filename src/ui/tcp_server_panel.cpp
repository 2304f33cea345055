// The main window's side of the TCP server: listening and its end.
#include "main_window.h"

bool TForm1::tcpserverislistening() const {
    return IdTCPServer1.isListening();
}

// A failed open leaves the panel closed: the port can be corrected at once.
void TForm1::tcpserveropen() {
    session.tcpserveropen();
}

void TForm1::tcpserverclose() {
    session.tcpserverclose();
}
