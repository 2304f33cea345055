#include "net_ports_window.h"

#include "dialogs.h"
#include "rfc2217_link.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm_netports::TForm_netports(QWidget *parent) : QDialog(parent) {
    setObjectName("Form_netports");
    setWindowTitle("Síťové porty");
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel("Adresy rfc2217://HOST:PORT, jedna na řádek:");
    label->setObjectName("Label_ports");
    layout->addWidget(label);
    Memo_ports = new QPlainTextEdit;
    Memo_ports->setObjectName("Memo_ports");
    Memo_ports->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(Memo_ports);
    Button_ok = new QPushButton("OK");
    Button_ok->setObjectName("Button_ok");
    layout->addWidget(Button_ok, 0, Qt::AlignRight);
    connect(Button_ok, &QPushButton::clicked, this, &QDialog::accept);
    resize(360, 200);
}

void TForm_netports::edit(const QStringList &ports) {
    Memo_ports->setPlainText(ports.join('\n'));
    show();
    raise();
}

void TForm_netports::done(int result) {
    leave();
    QDialog::done(result);
}

void TForm_netports::leave() {
    QStringList ports, malformed;
    for (const QString &line : Memo_ports->toPlainText().split('\n')) {
        const QString port = line.trimmed();
        if (port.isEmpty() || ports.contains(port))
            continue;
        if (networkport(port))
            ports << port;
        else
            malformed << "\"" + port + "\"";
    }
    Memo_ports->setPlainText(ports.join('\n'));
    if (!malformed.isEmpty())
        dialogs().showError("Tyto řádky nejsou adresy síťových portů (rfc2217://HOST:PORT) a do "
                            "seznamu nepatří: " +
                            malformed.join(", ") + ".");
    emit left(ports);
}
