// The main window's side of the TCP server: listening, the client
// notifications with their visible effects and the send to the last client.
#include "main_window.h"

#include "errors.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

bool TForm1::tcpserverislistening() const {
    return false;
}

void TForm1::tcpserveropen() {
    throw KrovanError("The TCP server is not available yet.");
}

void TForm1::tcpserverclose() {
    ComboBox_pripojeni->setEnabled(true);
    Edit_TCP_S_port->setEnabled(true);
    Button_TCP_S_On->setText("Připojit");
}

void TForm1::tcpserversend(const std::string &) {
    throw KrovanError("Not Connected");
}
