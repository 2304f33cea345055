// The main window's side of the UDP link: its open and close.
#include "main_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void TForm1::enableudpfields(bool enabled) {
    for (QWidget *control : std::initializer_list<QWidget *>{
             ComboBox_pripojeni, Edit_tx_adr, Edit_tx_port, Edit_rx_port, Label4, Label5, Label7})
        control->setEnabled(enabled);
}

void TForm1::udppanel(bool open) {
    enableudpfields(!open);
    Button_UDP_On->setText(open ? "Odpojit" : "Připojit");
}
