// The main window's side of the TCP client: connect and disconnect with
// their visible effects, the notifications and the send.
#include "main_window.h"

#include "errors.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

bool TForm1::tcpclientisconnected() const {
    return false;
}

void TForm1::tcpclientopen() {
    throw KrovanError("The TCP client is not available yet.");
}

void TForm1::IdTCPClient1Disconnected() {
    for (QWidget *control : std::initializer_list<QWidget *>{Label11, Label2, Edit_tcp_k_addr,
                                                             Edit_tcp_k_port, ComboBox_pripojeni})
        control->setEnabled(true);
    settitle(" odpojen");
    Button_TCP_C_On->setText("Připojit");
    linkstate(LinkKind::TcpClient, "TCP klient odpojen");
}

void TForm1::tcpclientclose() {
    // Disconnecting runs the disconnected notification every time, also
    // when no connection was open; it enables the fields and sets the caption.
    IdTCPClient1Disconnected();
}

void TForm1::tcpclientsend(const std::string &) {
    throw KrovanError("Not Connected");
}
