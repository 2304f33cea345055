// What every link kind shares, seen from the main window: the connect
// buttons with their order of closes (the session's table), the choice of
// the link a send uses, the window title and the captions and enabled
// controls that follow the session's links. Each kind's own open and close
// live in its panel file (serial_panel.cpp, tcp_client_panel.cpp, ...).
#include "main_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <array>

void TForm1::settitle(const QString &suffix) {
    setWindowTitle("Krovan " KROVAN_VERSION " - " + settingstitle + suffix);
}

void TForm1::wiresession() {
    connect(&session, &Session::connectionstate, this, &TForm1::settitle);
    connect(&session, &Session::linkchanged, this, [this](LinkKind kind, bool open) {
        // Each kind's panel, in the selector's order.
        static constexpr std::array<void (TForm1::*)(bool), kindcount> panels{
            &TForm1::serialpanel, &TForm1::tcpclientpanel, &TForm1::tcpserverpanel,
            &TForm1::udppanel, &TForm1::icmppanel};
        if (kind != LinkKind::None)
            (this->*panels[static_cast<size_t>(kind)])(open);
    });
    // A device that came back under another number: the list names it so.
    connect(&session.linkas<SerialLink>(LinkKind::Serial), &SerialLink::renumbered, this,
            [this](int number) {
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

void TForm1::connectclicked(LinkKind kind) {
    // A serial port is the one the list shows, read as the port opens.
    if (kind == LinkKind::Serial)
        session.toggle(kind, [this] { chooseserialport(); });
    else
        session.toggle(kind);
}

QPushButton *TForm1::connectbuttonof(LinkKind kind) const {
    // In the selector's order.
    const std::array<QPushButton *, kindcount> buttons{
        Button_RS232_On, Button_TCP_C_On, Button_TCP_S_On, Button_UDP_On, Button_ICMP_On};
    return buttons[static_cast<size_t>(kind)];
}

void TForm1::icmppanel(bool open) {
    ComboBox_pripojeni->setEnabled(!open);
    Button_ICMP_On->setText(open ? "Vypnout" : "Zapnout");
}

LinkKind TForm1::activelink() const {
    return session.activelink();
}
