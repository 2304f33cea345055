// What every link kind shares, seen from the main window: the connect
// buttons with their order of closes (the session's table), the choice of
// the link a send uses, the window title and the captions and enabled
// controls that follow the session's links. Each kind's own open and close
// live in its panel file (serial_panel.cpp, tcp_client_panel.cpp, ...).
#include "main_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

void TForm1::settitle(const QString &suffix) {
    setWindowTitle("Krovan " KROVAN_VERSION " - " + settingstitle + suffix);
}

void TForm1::wiresession() {
    connect(&session, &Session::connectionstate, this, &TForm1::settitle);
    connect(&session, &Session::linkchanged, this, [this](LinkKind kind, bool open) {
        switch (kind) {
        case LinkKind::Serial:
            Button_RS232_On->setText(open ? "Odpojit" : "Připojit");
            break;
        case LinkKind::TcpClient:
            open ? IdTCPClient1Connected() : IdTCPClient1Disconnected();
            break;
        case LinkKind::TcpServer:
            ComboBox_pripojeni->setEnabled(!open);
            Edit_TCP_S_port->setEnabled(!open);
            Button_TCP_S_On->setText(open ? "Odpojit" : "Připojit");
            break;
        case LinkKind::Udp:
            enableudpfields(!open);
            Button_UDP_On->setText(open ? "Odpojit" : "Připojit");
            break;
        case LinkKind::Icmp:
            ComboBox_pripojeni->setEnabled(!open);
            Button_ICMP_On->setText(open ? "Vypnout" : "Zapnout");
            break;
        default:
            break;
        }
    });
    // The serial panel follows the port itself, and only while it is shown;
    // a port waiting for its device keeps its controls as while open.
    connect(&ApdComPort1, &Link::opened, this, [this] { ApdComPort1PortOpen(); });
    connect(&ApdComPort1, &Link::waitingstarted, this, [this] { ApdComPort1PortOpen(); });
    connect(&ApdComPort1, &Link::closed, this, [this] {
        if (!ApdComPort1.waiting())
            ApdComPort1PortClose();
    });
    // A device that came back under another number: the list names it so.
    connect(&ApdComPort1, &SerialLink::renumbered, this, [this](int number) {
        ComboBox_COM_port->setItemText(ComboBox_COM_port->currentIndex(),
                                       "COM" + QString::number(number));
    });
    // A port whose device went away is closed; its button offers to connect.
    connect(&session, &Session::seriallost, this, [this] { Button_RS232_On->setText("Připojit"); });
}

void TForm1::bindsetup() {
    Setup &setup = session.setup;
    connect(ComboBox_pripojeni, &QComboBox::currentIndexChanged, this,
            [&setup](int index) { setup.connection = index; });
    const std::pair<QLineEdit *, QString *> fields[] = {
        {Edit_tx_adr, &setup.tx_adr},      {Edit_tx_port, &setup.tx_port},
        {Edit_rx_port, &setup.rx_port},    {Edit_icmp_a, &setup.icmp_a},
        {Edit_TCP_S_port, &setup.tcp_s_p}, {Edit_tcp_k_addr, &setup.tcp_c_a},
        {Edit_tcp_k_port, &setup.tcp_c_p}};
    for (auto [edit, value] : fields) {
        *value = edit->text();
        connect(edit, &QLineEdit::textChanged, this,
                [value](const QString &text) { *value = text; });
    }
    const std::pair<QComboBox *, int *> selectors[] = {{ComboBox_COM_port, &setup.com_port},
                                                       {ComboBox_bits, &setup.com_bits},
                                                       {ComboBox_parity, &setup.com_parity},
                                                       {ComboBox_stop, &setup.com_stop}};
    for (auto [box, index] : selectors) {
        *index = box->currentIndex();
        connect(box, &QComboBox::currentIndexChanged, this, [index](int now) { *index = now; });
    }
    setup.connection = ComboBox_pripojeni->currentIndex();
    setup.com_baud = ComboBox_baud->currentText();
    connect(ComboBox_baud, &QComboBox::currentTextChanged, this,
            [&setup](const QString &text) { setup.com_baud = text; });
}

void TForm1::Button_RS232_OnClick() {
    // The port is the one the list shows, read as the port opens.
    session.toggle(LinkKind::Serial, [this] { chooseserialport(); });
}

void TForm1::Button_TCP_C_OnClick() {
    session.toggle(LinkKind::TcpClient);
}

void TForm1::Button_TCP_S_OnClick() {
    session.toggle(LinkKind::TcpServer);
}

void TForm1::Button_UDP_OnClick() {
    session.toggle(LinkKind::Udp);
}

void TForm1::Button_ICMP_OnClick() {
    session.toggle(LinkKind::Icmp);
}

LinkKind TForm1::activelink() const {
    return session.activelink();
}

void TForm1::Timer_rxTimer() {
    session.Timer_rxTimer();
}
