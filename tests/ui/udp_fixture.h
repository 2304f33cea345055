#pragma once

#include "forms_fixture.h"
#include "main_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QUdpSocket>

// A window test with the UDP link chosen in the main window: its
// destination a peer socket of the test's on 127.0.0.1, its local port
// chosen by the system (openudp() reads it back).
class UdpFixture : public FormsTest {
protected:
    QUdpSocket peer;
    int localport = 0;

    void SetUp() override {
        FormsTest::SetUp();
        start();
        ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
        Form1->ComboBox_pripojeni->setCurrentIndex(3);
        Form1->ComboBox_pripojeniChange();
        Form1->Edit_rx_port->setText("0");
        Form1->Edit_tx_adr->setText("127.0.0.1");
        Form1->Edit_tx_port->setText(QString::number(peer.localPort()));
    }

    void TearDown() override {
        Form1->session.close(LinkKind::Udp);
        FormsTest::TearDown();
    }

    void openudp() {
        Form1->Button_UDP_On->click();
        if (Form1->session.linkas<UdpLink>(LinkKind::Udp).isActive())
            localport = Form1->session.linkas<UdpLink>(LinkKind::Udp).localPort();
    }

    void sendtoprogram(const QByteArray &data) {
        peer.writeDatagram(data, QHostAddress::LocalHost, static_cast<quint16>(localport));
    }
};
