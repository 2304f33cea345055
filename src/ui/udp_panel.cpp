// The main window's side of the UDP link: its open and close with their
// visible effects, the received-datagram notification and the send.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Largest datagram the program processes; longer ones are dropped unseen.
constexpr qsizetype maxDatagram = 2048;

} // namespace

void TForm1::enableudpfields(bool enabled) {
    for (QWidget *control : std::initializer_list<QWidget *>{
             ComboBox_pripojeni, Edit_tx_adr, Edit_tx_port, Edit_rx_port, Label4, Label5, Label7})
        control->setEnabled(enabled);
}

void TForm1::udpopen() {
    enableudpfields(false);
    try {
        IdUDPServer1.open(strtoint(toBytes(Edit_rx_port->text())));
    } catch (...) {
        // A failed open leaves the panel closed: the text that failed can
        // be corrected at once.
        enableudpfields(true);
        throw;
    }
    settitle(" UDP připojen");
    Button_UDP_On->setText("Odpojit");
    linkstate(LinkKind::Udp, "UDP server připojen");
}

void TForm1::udpclose() {
    enableudpfields(true);
    IdUDPServer1.close();
    settitle(" odpojen");
    Button_UDP_On->setText("Připojit");
    linkstate(LinkKind::Udp, "UDP server odpojen");
}

void TForm1::udpsend(const std::string &bytes) {
    IdUDPServer1.send(bytes, Edit_tx_adr->text(), strtoint(toBytes(Edit_tx_port->text())));
}

void TForm1::IdUDPServer1UDPRead(const QByteArray &data, const QHostAddress &sender, quint16 port) {
    if (data.size() > maxDatagram)
        return;
    const std::string block(data.constData(), static_cast<size_t>(data.size()));
    rxprocess(block, sender.toString() + ":" + QString::number(port));
}
