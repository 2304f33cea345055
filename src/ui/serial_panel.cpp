// The main window's side of the serial link: detection, open and close
// with their visible effects, the received-bytes notification and the send.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"
#include "guard.h"

#include <QComboBox>
#include <QPushButton>

namespace {

// Numbers probed by detection.
constexpr int lastPortNumber = 255;

} // namespace

void TForm1::wireserial() {
    connect(&ApdComPort1, &SerialLink::portOpened, this,
            [this] { guarded([this] { ApdComPort1PortOpen(); }); });
    connect(&ApdComPort1, &SerialLink::portClosed, this,
            [this] { guarded([this] { ApdComPort1PortClose(); }); });
    connect(&ApdComPort1, &SerialLink::triggerAvail, this,
            [this](qint64 count) { guarded([=, this] { ApdComPort1TriggerAvail(count); }); });
    // A port whose device went away is closed; its button offers to connect.
    connect(&ApdComPort1, &SerialLink::portLost, this,
            [this] { Button_RS232_On->setText("Připojit"); });
}

bool TForm1::serialisopen() const {
    return ApdComPort1.isOpen();
}

int TForm1::serialportnumber() const {
    return ApdComPort1.number();
}

void TForm1::Button_detectClick() {
    ComboBox_COM_port->clear();
    for (int n = 0; n <= lastPortNumber; ++n) {
        try {
            ApdComPort1.setnumber(n);
            ApdComPort1.open();
            if (ApdComPort1.isOpen()) {
                ComboBox_COM_port->addItem("COM" + QString::number(n));
                ComboBox_COM_port->setItemData(ComboBox_COM_port->count() - 1, serialdescription(n),
                                               Qt::ToolTipRole);
            }
        } catch (...) {
            // A number without a port, or one that will not open, is left out.
        }
    }
    if (ComboBox_COM_port->count() > 0)
        ComboBox_COM_port->setCurrentIndex(0);
}

void TForm1::serialopen() {
    // The digits after "COM", at most three.
    const int number = strtoint(toBytes(ComboBox_COM_port->currentText().mid(3, 3)));
    const int baud = strtoint(toBytes(ComboBox_baud->currentText()));
    const int bits = strtoint(toBytes(ComboBox_bits->currentText()));
    ApdComPort1.setnumber(number);
    ApdComPort1.setbaud(baud);
    ApdComPort1.setdatabits(bits);
    ApdComPort1.open();
    Button_RS232_On->setText("Odpojit");
}

void TForm1::serialclose() {
    ApdComPort1.close();
    Button_RS232_On->setText("Připojit");
}

void TForm1::ApdComPort1PortOpen() {
    if (ComboBox_pripojeni->currentIndex() != static_cast<int>(LinkKind::Serial))
        return;
    for (QWidget *control : std::initializer_list<QWidget *>{
             ComboBox_pripojeni, ComboBox_COM_port, Button_detect, ComboBox_baud, ComboBox_bits,
             ComboBox_parity, ComboBox_stop})
        control->setEnabled(false);
    settitle(" RS232 připojen");
    linkstate(LinkKind::Serial, "COM" + QString::number(ApdComPort1.number()) + " připojen...");
}

void TForm1::ApdComPort1PortClose() {
    if (ComboBox_pripojeni->currentIndex() != static_cast<int>(LinkKind::Serial))
        return;
    // Data bits, parity and stop bits stay fixed, so their selectors stay disabled.
    for (QWidget *control : std::initializer_list<QWidget *>{ComboBox_pripojeni, ComboBox_COM_port,
                                                             Button_detect, ComboBox_baud})
        control->setEnabled(true);
    settitle(" odpojen");
    linkstate(LinkKind::Serial, "COM" + QString::number(ApdComPort1.number()) + " odpojen...");
}

void TForm1::ApdComPort1TriggerAvail(qint64 count) {
    const std::string block = ApdComPort1.take(count);
    rxprocess(block, "COM" + QString::number(ApdComPort1.number()));
}

void TForm1::serialsend(const std::string &bytes) {
    ApdComPort1.send(bytes);
}
