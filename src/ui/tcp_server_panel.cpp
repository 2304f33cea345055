// The main window's side of the TCP server: its panel while listening.
#include "main_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

void TForm1::tcpserverpanel(bool open) {
    ComboBox_pripojeni->setEnabled(!open);
    Edit_TCP_S_port->setEnabled(!open);
    Button_TCP_S_On->setText(open ? "Odpojit" : "Připojit");
}
