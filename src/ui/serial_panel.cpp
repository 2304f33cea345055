// The main window's side of the serial link: detection, open and close
// with their visible effects, the received-bytes notification and the send.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"

#include <QComboBox>
#include <QPushButton>

namespace {

// Numbers probed by detection.
constexpr int lastPortNumber = 255;

} // namespace

void TForm1::Button_detectClick() {
    ComboBox_COM_port->clear();
    for (int n = 0; n <= lastPortNumber; ++n) {
        try {
            if (session.probeserial(n)) {
                ComboBox_COM_port->addItem("COM" + QString::number(n));
                ComboBox_COM_port->setItemData(ComboBox_COM_port->count() - 1, serialdescription(n),
                                               Qt::ToolTipRole);
            }
        } catch (...) {
            // A number without a port, or one that will not open, is left out.
        }
    }
    listnetports();
    if (ComboBox_COM_port->count() > 0)
        ComboBox_COM_port->setCurrentIndex(0);
}

void TForm1::listnetports() {
    // The network ports follow the detected ones, in the settings' order.
    for (int item = ComboBox_COM_port->count() - 1; item >= 0; --item)
        if (isnetworkport(ComboBox_COM_port->itemText(item)))
            ComboBox_COM_port->removeItem(item);
    ComboBox_COM_port->addItems(session.setup.netports);
}

void TForm1::chooseserialport() {
    const QString port = ComboBox_COM_port->currentText();
    // A network port by its name; else the digits after "COM", at most three.
    const bool network = isnetworkport(port);
    const int number = network ? 0 : strtoint(toBytes(port.mid(3, 3)));
    session.chooseserial(LinkSetups::serial(session.setup, number, network ? port : QString(),
                                            LinkSetups::OtherBits::Fail));
}

void TForm1::serialpanel(bool open) {
    Button_RS232_On->setText(open ? "Odpojit" : "Připojit");
    // A port waiting for its device keeps its controls as while open.
    open ? ApdComPort1PortOpen() : ApdComPort1PortClose();
}

void TForm1::ApdComPort1PortOpen() {
    if (ComboBox_pripojeni->currentIndex() != static_cast<int>(LinkKind::Serial))
        return;
    for (QWidget *control : std::initializer_list<QWidget *>{
             ComboBox_pripojeni, ComboBox_COM_port, Button_detect, ComboBox_baud, ComboBox_bits,
             ComboBox_parity, ComboBox_stop})
        control->setEnabled(false);
}

void TForm1::ApdComPort1PortClose() {
    if (ComboBox_pripojeni->currentIndex() != static_cast<int>(LinkKind::Serial))
        return;
    // Data bits, parity and stop bits stay fixed, so their selectors stay disabled.
    for (QWidget *control : std::initializer_list<QWidget *>{ComboBox_pripojeni, ComboBox_COM_port,
                                                             Button_detect, ComboBox_baud})
        control->setEnabled(true);
}
