// The main window's side of the TCP server: listening and its end.
#include "main_window.h"

bool TForm1::tcpserverislistening() const {
    return IdTCPServer1.isListening();
}
