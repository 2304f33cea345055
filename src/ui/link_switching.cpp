// What every link kind shares: the connect buttons with their order of
// closes, the choice of the link a send uses, the window title and the
// state records. Each kind's own open, close and notifications live in its
// panel file (serial_panel.cpp, tcp_client_panel.cpp, ...).
#include "main_window.h"

#include "errors.h"
#include "forms.h"
#include "states_window.h"

#include <QComboBox>
#include <QLineEdit>

void TForm1::settitle(const QString &suffix) {
    setWindowTitle("Krovan 0.6 - " + settingstitle + suffix);
}

void TForm1::linkstate(LinkKind kind, const QString &text) {
    if (ComboBox_pripojeni->currentIndex() == static_cast<int>(kind))
        Form_RX_TX->addstate(text);
}

void TForm1::Button_RS232_OnClick() {
    tcpclientclose();
    tcpserverclose();
    icmpoff();
    udpclose();
    if (serialisopen())
        serialclose();
    else
        serialopen();
}

void TForm1::Button_TCP_C_OnClick() {
    serialclose();
    tcpserverclose();
    icmpoff();
    udpclose();
    if (tcpclientisconnected())
        tcpclientclose();
    else
        tcpclientopen();
}

void TForm1::Button_TCP_S_OnClick() {
    serialclose();
    tcpclientclose();
    icmpoff();
    udpclose();
    if (tcpserverislistening())
        tcpserverclose();
    else
        tcpserveropen();
}

void TForm1::Button_UDP_OnClick() {
    serialclose();
    tcpserverclose();
    tcpclientclose();
    icmpoff();
    if (IdUDPServer1.isActive())
        udpclose();
    else
        udpopen();
}

void TForm1::Button_ICMP_OnClick() {
    serialclose();
    tcpserverclose();
    tcpclientclose();
    udpclose();
    if (icmpactive)
        icmpoff();
    else
        icmpon();
}

LinkKind TForm1::activelink() const {
    if (serialisopen())
        return LinkKind::Serial;
    if (tcpserverislistening())
        return LinkKind::TcpServer;
    if (tcpclientisconnected())
        return LinkKind::TcpClient;
    if (IdUDPServer1.isActive())
        return LinkKind::Udp;
    if (icmpactive)
        return LinkKind::Icmp;
    return LinkKind::None;
}

QString TForm1::sendaddress(LinkKind link) const {
    switch (link) {
    case LinkKind::Serial:
        return "na: COM" + QString::number(serialportnumber()) + " ";
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

void TForm1::linksend(LinkKind link, const std::string &bytes) {
    switch (link) {
    case LinkKind::Serial:
        return serialsend(bytes);
    case LinkKind::TcpServer:
        return tcpserversend(bytes);
    case LinkKind::TcpClient:
        return tcpclientsend(bytes);
    case LinkKind::Udp:
        return udpsend(bytes);
    case LinkKind::Icmp:
        return icmpsend(bytes);
    default:
        throw KrovanError("No link is open.");
    }
}
