// The main window's side of the TCP server: listening, the client
// notifications with their visible effects and the send to the last client.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"
#include "guard.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

void TForm1::wiretcpserver() {
    connect(
        &IdTCPServer1, &TcpServerLink::clientConnected, this,
        [this](TcpServerLink::ClientId client) { guarded([&] { IdTCPServer1Connect(client); }); });
    connect(&IdTCPServer1, &TcpServerLink::clientDisconnected, this,
            [this](TcpServerLink::ClientId client) {
                guarded([&] { IdTCPServer1Disconnect(client); });
            });
    connect(&IdTCPServer1, &TcpServerLink::received, this,
            [this](const QByteArray &bytes) { rxappend(bytes.constData(), bytes.size()); });
}

bool TForm1::tcpserverislistening() const {
    return IdTCPServer1.isListening();
}

void TForm1::tcpserveropen() {
    ComboBox_pripojeni->setEnabled(false);
    Edit_TCP_S_port->setEnabled(false);
    try {
        IdTCPServer1.open(strtoint(toBytes(Edit_TCP_S_port->text())));
    } catch (...) {
        // A failed open leaves the panel closed: the port can be corrected
        // at once.
        ComboBox_pripojeni->setEnabled(true);
        Edit_TCP_S_port->setEnabled(true);
        throw;
    }
    // No title and no record: those come with the clients.
    Button_TCP_S_On->setText("Odpojit");
}

void TForm1::tcpserverclose() {
    ComboBox_pripojeni->setEnabled(true);
    Edit_TCP_S_port->setEnabled(true);
    // Every client is dropped (one disconnected notification each), then
    // listening stops; nothing here waits and nothing fails.
    IdTCPServer1.close();
    Button_TCP_S_On->setText("Připojit");
}

void TForm1::IdTCPServer1Connect(TcpServerLink::ClientId client) {
    linkstate(LinkKind::TcpServer, "TCP server připojen...");
    settitle(" TCP server připojen");
    lastpeer = client;
}

void TForm1::IdTCPServer1Disconnect(TcpServerLink::ClientId) {
    linkstate(LinkKind::TcpServer, "TCP server odpojen...");
    settitle(" odpojen");
}

void TForm1::tcpserversend(const std::string &bytes) {
    // Only the last client to connect; one that has gone fails the send.
    IdTCPServer1.write(lastpeer, bytes);
}
