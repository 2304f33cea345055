// The main window's side of the TCP client: connect and disconnect with
// their visible effects, the notifications and the send.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"
#include "guard.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void TForm1::wiretcpclient() {
    connect(&IdTCPClient1, &TcpClientLink::received, this, [this](const QByteArray &data) {
        if (!readerstop)
            rxappend(data.constData(), data.size());
    });
    connect(&IdTCPClient1, &TcpClientLink::peerClosed, this,
            [this] { guarded([this] { IdTCPClient1Disconnected(); }); });
}

bool TForm1::tcpclientisconnected() const {
    return IdTCPClient1.isConnected();
}

void TForm1::tcpclientopen() {
    readerstop = false;
    const QString host = Edit_tcp_k_addr->text();
    const int port = strtoint(toBytes(Edit_tcp_k_port->text()));
    IdTCPClient1.open(host, port);
    IdTCPClient1Connected();
}

void TForm1::IdTCPClient1Connected() {
    for (QWidget *control : std::initializer_list<QWidget *>{Label11, Label2, Edit_tcp_k_addr,
                                                             Edit_tcp_k_port, ComboBox_pripojeni})
        control->setEnabled(false);
    settitle(" TCP klient připojen");
    Button_TCP_C_On->setText("Odpojit");
    linkstate(LinkKind::TcpClient, "TCP klient připojen");
    // The link reads as soon as the event loop runs again: that is the
    // reader of this connection.
    rxreset();
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
    IdTCPClient1.close();
    // Disconnecting runs the disconnected notification every time, also
    // when no connection was open.
    IdTCPClient1Disconnected();
    for (QWidget *control :
         std::initializer_list<QWidget *>{Label11, Label2, Edit_tcp_k_addr, Edit_tcp_k_port})
        control->setEnabled(true);
    readerstop = true;
    Button_TCP_C_On->setText("Připojit");
}

void TForm1::tcpclientsend(const std::string &bytes) {
    IdTCPClient1.send(bytes);
}
