// The main window's side of the TCP client: connect and disconnect, and the
// panel while connected.
#include "main_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void TForm1::tcpclientpanel(bool open) {
    open ? IdTCPClient1Connected() : IdTCPClient1Disconnected();
}

void TForm1::IdTCPClient1Connected() {
    for (QWidget *control : std::initializer_list<QWidget *>{Label11, Label2, Edit_tcp_k_addr,
                                                             Edit_tcp_k_port, ComboBox_pripojeni})
        control->setEnabled(false);
    Button_TCP_C_On->setText("Odpojit");
}

void TForm1::IdTCPClient1Disconnected() {
    for (QWidget *control : std::initializer_list<QWidget *>{Label11, Label2, Edit_tcp_k_addr,
                                                             Edit_tcp_k_port, ComboBox_pripojeni})
        control->setEnabled(true);
    Button_TCP_C_On->setText("Připojit");
}
