// The main window's side of the ICMP echo link: switching it on and off
// with the visible effects, the echo per send and its reply notification.
#include "main_window.h"

#include "errors.h"

#include <QComboBox>
#include <QPushButton>

void TForm1::icmpon() {
    throw KrovanError("The ICMP link is not available yet.");
}

void TForm1::icmpoff() {
    icmpactive = false;
    ComboBox_pripojeni->setEnabled(true);
    settitle(" odpojen");
    linkstate(LinkKind::Icmp, "ICMP odpojen");
    Button_ICMP_On->setText("Zapnout");
}

void TForm1::icmpsend(const std::string &) {
    throw KrovanError("Not Connected");
}
