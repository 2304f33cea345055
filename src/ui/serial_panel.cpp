// The main window's side of the serial link: detection, open and close
// with their visible effects, the received-bytes notification and the send.
#include "main_window.h"

#include "errors.h"

#include <QComboBox>
#include <QPushButton>

bool TForm1::serialisopen() const {
    return false;
}

int TForm1::serialportnumber() const {
    return 0;
}

void TForm1::Button_detectClick() {
    // Fills ComboBox_COM_port with the ports that open; built with the serial link.
}

void TForm1::serialopen() {
    throw KrovanError("The serial link is not available yet.");
}

void TForm1::serialclose() {
    // No serial port is ever open yet, so no close notification occurs.
    Button_RS232_On->setText("Připojit");
}

void TForm1::serialsend(const std::string &) {
    throw KrovanError("Not Connected");
}
