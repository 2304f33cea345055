// The main window's side of the ICMP echo link: switching it on and off
// with the visible effects, the echo per send and its reply notification.
#include "main_window.h"

#include "bytes_text.h"
#include "forms.h"
#include "states_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

void TForm1::icmpon() {
    icmpactive = true;
    ComboBox_pripojeni->setEnabled(false);
    settitle(" ICMP připojen");
    linkstate(LinkKind::Icmp, "ICMP aktivní");
    Button_ICMP_On->setText("Vypnout");
}

void TForm1::icmpoff() {
    icmpactive = false;
    ComboBox_pripojeni->setEnabled(true);
    settitle(" odpojen");
    linkstate(LinkKind::Icmp, "ICMP odpojen");
    Button_ICMP_On->setText("Zapnout");
}

void TForm1::icmpsend(const std::string &bytes) {
    IdIcmpClient1.host = toBytes(Edit_icmp_a->text());
    IdIcmpClient1.onreply = [this](const icmp::Reply &status) { IdIcmpClient1Reply(status); };
    try {
        IdIcmpClient1.ping(bytes);
    } catch (const IcmpPermissionError &error) {
        // Every echo fails alike; the reason is worth one box per run.
        if (!icmpreasonshown) {
            icmpreasonshown = true;
            dialogs().showError(QString::fromStdString(error.what()));
        }
        throw;
    }
}

void TForm1::IdIcmpClient1Reply(const icmp::Reply &status) {
    if (status.kind != icmp::Kind::Echo) {
        Form_RX_TX->adderror("CHYBA - nepřišla odpověď.");
        return;
    }
    const std::string data = icmp::replydata(status);
    rxprocess(data, "ICMP " + QString::fromStdString(status.sender) + " - " +
                        QString::number(data.size()) + "bajtů");
}
