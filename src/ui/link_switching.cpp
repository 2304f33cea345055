// The connect buttons and the open and close operations as the user sees
// them: enabled controls, button captions, window title and state records.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"
#include "errors.h"
#include "forms.h"
#include "states_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void TForm1::settitle(const QString &suffix)
{
    setWindowTitle("Krovan 0.6 - " + settingstitle + suffix);
}

void TForm1::linkstate(LinkKind kind, const QString &text)
{
    if (ComboBox_pripojeni->currentIndex() == static_cast<int>(kind))
        Form_RX_TX->addstate(text);
}

void TForm1::Button_UDP_OnClick()
{
    serialclose();
    tcpserverclose();
    tcpclientclose();
    icmpoff();
    if (IdUDPServer1.isActive())
        udpclose();
    else
        udpopen();
}

void TForm1::enableudpfields(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             ComboBox_pripojeni, Edit_tx_adr, Edit_tx_port, Edit_rx_port, Label4, Label5, Label7})
        control->setEnabled(enabled);
}

void TForm1::udpopen()
{
    enableudpfields(false);
    // A failing port text or bind leaves the fields disabled; only the
    // close enables them again.
    IdUDPServer1.open(strtoint(toBytes(Edit_rx_port->text())));
    settitle(" UDP připojen");
    Button_UDP_On->setText("Odpojit");
    linkstate(LinkKind::Udp, "UDP server připojen");
}

void TForm1::udpclose()
{
    enableudpfields(true);
    IdUDPServer1.close();
    settitle(" odpojen");
    Button_UDP_On->setText("Připojit");
    linkstate(LinkKind::Udp, "UDP server odpojen");
}

void TForm1::serialclose()
{
    // No serial port is ever open yet, so no close notification occurs.
    Button_RS232_On->setText("Připojit");
}

void TForm1::IdTCPClient1Disconnected()
{
    for (QWidget *control : std::initializer_list<QWidget *>{Label11, Label2, Edit_tcp_k_addr,
                                                            Edit_tcp_k_port, ComboBox_pripojeni})
        control->setEnabled(true);
    settitle(" odpojen");
    Button_TCP_C_On->setText("Připojit");
    linkstate(LinkKind::TcpClient, "TCP klient odpojen");
}

void TForm1::tcpclientclose()
{
    // Disconnecting runs the disconnected notification every time, also
    // when no connection was open; it enables the fields and sets the caption.
    IdTCPClient1Disconnected();
}

void TForm1::tcpserverclose()
{
    ComboBox_pripojeni->setEnabled(true);
    Edit_TCP_S_port->setEnabled(true);
    Button_TCP_S_On->setText("Připojit");
}

void TForm1::icmpoff()
{
    icmpactive = false;
    ComboBox_pripojeni->setEnabled(true);
    settitle(" odpojen");
    linkstate(LinkKind::Icmp, "ICMP odpojen");
    Button_ICMP_On->setText("Zapnout");
}

LinkKind TForm1::activelink() const
{
    // Serial, TCP server and TCP client come first in this order once they
    // exist; none of them can be open yet.
    if (IdUDPServer1.isActive())
        return LinkKind::Udp;
    if (icmpactive)
        return LinkKind::Icmp;
    return LinkKind::None;
}

QString TForm1::sendaddress(LinkKind link) const
{
    switch (link) {
    case LinkKind::TcpServer:
        return "na: localhost : " + Edit_TCP_S_port->text() + " ";
    case LinkKind::TcpClient:
        return "na: " + Edit_tcp_k_addr->text() + " : " + Edit_tcp_k_port->text() + " ";
    case LinkKind::Udp:
        return "na: " + Edit_tx_adr->text() + " : " + Edit_tx_port->text() + " ";
    case LinkKind::Icmp:
        return "na: " + Edit_icmp_a->text() + " ";
    default:
        return QString();
    }
}

void TForm1::linksend(LinkKind link, const std::string &bytes)
{
    switch (link) {
    case LinkKind::Udp:
        IdUDPServer1.send(bytes, Edit_tx_adr->text(), strtoint(toBytes(Edit_tx_port->text())));
        return;
    default:
        throw KrovanError("This link cannot send yet.");
    }
}
