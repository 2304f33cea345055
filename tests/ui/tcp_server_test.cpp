// The TCP server through the real windows, with clients owned by the test on
// 127.0.0.1: who receives the sends, how clients' bytes arrive, the records
// and the title, and what opens and closes the server.
#include "forms_fixture.h"

#include "log_seam.h"
#include "log_view.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "states_window.h"
#include "wait_for.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <sys/socket.h>
#include <vector>

namespace {

void pause(int ms) {
    waitfor([] { return false; }, ms);
}

int freeport() {
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

using Client = std::unique_ptr<QTcpSocket>;

class TcpServer : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        start();
        Form1->ComboBox_pripojeni->setCurrentIndex(2);
        Form1->ComboBox_pripojeniChange();
        Form1->Edit_TCP_S_port->setText("0");
        Form_RX_TX->CheckBox_stavy->setChecked(true);
        Form_RX_TX->CheckBox_rx->setChecked(true);
        Form_RX_TX->CheckBox_tx->setChecked(true);
        Form_RX_TX->CheckBox_adr->setChecked(true);
        Form_TX->tx_frames[1]->Edit_data->setText("hello");
    }

    void TearDown() override {
        Form1->session.close(LinkKind::TcpServer);
        FormsTest::TearDown();
    }

    static void press() { Form1->Button_TCP_S_On->click(); }
    static int port() { return Form1->session.linkas<TcpServerLink>(LinkKind::TcpServer).port(); }
    static void send() { Form_TX->tx_frames[1]->Button_send->click(); }

    static QStringList mix() {
        QStringList texts;
        for (const LogLine &line : seam::lines(Form_RX_TX->RichEdit_mix))
            texts << line.text;
        return texts;
    }
    static int count(const QString &text) { return static_cast<int>(mix().count(text)); }
    // The bytes of every block logged so far, one after the other.
    static QString blocks() {
        QString all;
        for (const QString &text : mix())
            if (text.startsWith("  "))
                all += text.mid(2);
        return all;
    }

    // A client that the server has accepted and reported.
    static Client client(int at = port()) {
        auto socket = std::make_unique<QTcpSocket>();
        const int before = count("TCP server připojen...");
        socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(at));
        EXPECT_TRUE(waitfor([&] { return count("TCP server připojen...") > before; }));
        return socket;
    }

    static QByteArray receive(QTcpSocket &socket, qint64 size) {
        waitfor([&] { return socket.bytesAvailable() >= size; });
        return socket.readAll();
    }
};

TEST_F(TcpServer, OpeningAloneWritesNoRecordAndEachClientIsRecorded) {
    press();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_NE(port(), 0);
    EXPECT_EQ(Form1->Button_TCP_S_On->text(), "Odpojit");
    EXPECT_FALSE(Form1->Edit_TCP_S_port->isEnabled());
    EXPECT_FALSE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_TRUE(mix().isEmpty());
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");

    Client a = client();
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  TCP server připojen");
    Client b = client();
    EXPECT_EQ(mix(), (QStringList{"TCP server připojen...", "TCP server připojen..."}));
    pause(50);
    EXPECT_EQ(a->bytesAvailable(), 0) << "nothing is sent to a client that connects";

    b->disconnectFromHost();
    ASSERT_TRUE(waitfor([] { return count("TCP server odpojen...") == 1; }));
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_TRUE(Form1->session.isopen(LinkKind::TcpServer));
}

TEST_F(TcpServer, SendsGoToTheLastClientOnlyAndFailOnceItLeft) {
    press();
    Client a = client();
    Client b = client();
    Form_RX_TX->CheckBox_stavy->setChecked(false);
    Form_RX_TX->RichEdit_mix->clearlog();
    send();
    EXPECT_EQ(receive(*b, 5), "hello");
    EXPECT_EQ(mix().value(0), QString("Odeslal data na: localhost : 0 :"));
    pause(50);
    EXPECT_EQ(a->bytesAvailable(), 0);

    b->disconnectFromHost();
    ASSERT_TRUE(waitfor([] {
        return Form1->session.linkas<TcpServerLink>(LinkKind::TcpServer).clientCount() == 1;
    }));
    send();
    EXPECT_EQ(mix().last(), "CHYBA: Nepovedlo se odeslat.");
    EXPECT_EQ(seam::lines(Form_RX_TX->RichEdit_mix).back().style.font, "MS Sans Serif");
    pause(50);
    EXPECT_EQ(a->bytesAvailable(), 0) << "a send never picks another client";

    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Client c = client();
    Form_RX_TX->RichEdit_mix->clearlog();
    send();
    EXPECT_EQ(receive(*c, 5), "hello");
    EXPECT_EQ(mix().size(), 2) << mix().join("|").toStdString();
}

TEST_F(TcpServer, WithNoClientYetASendIsLoggedThenFails) {
    press();
    send();
    EXPECT_EQ(mix(), (QStringList{"Odeslal data na: localhost : 0 :", "  hello",
                                  "CHYBA: Nepovedlo se odeslat."}));
}

TEST_F(TcpServer, EveryClientsBytesArriveAsStreamBlocks) {
    press();
    Client a = client();
    Client b = client();
    Form_RX_TX->RichEdit_mix->clearlog();
    a->write("from a");
    ASSERT_TRUE(waitfor([] { return mix().size() >= 2; }));
    b->write("from b");
    ASSERT_TRUE(waitfor([] { return mix().size() >= 4; }));
    EXPECT_EQ(mix(), (QStringList{"Přijal data z: TCP-IP :500 :", "  from a",
                                  "Přijal data z: TCP-IP :500 :", "  from b"}));
}

TEST_F(TcpServer, ClosingDropsEveryClientWithARecordEach) {
    press();
    Client a = client();
    Client b = client();
    press();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_EQ(count("TCP server odpojen..."), 2);
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_EQ(Form1->Button_TCP_S_On->text(), "Připojit");
    EXPECT_TRUE(Form1->Edit_TCP_S_port->isEnabled());
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_TRUE(waitfor([&] {
        return a->state() == QAbstractSocket::UnconnectedState &&
               b->state() == QAbstractSocket::UnconnectedState;
    })) << "each client sees its connection closed";
    EXPECT_EQ(count("TCP server odpojen..."), 2);
}

TEST_F(TcpServer, ReopeningOnAnotherPortListensThereOnly) {
    const int first = freeport();
    Form1->Edit_TCP_S_port->setText(QString::number(first));
    press();
    ASSERT_EQ(port(), first);
    press();
    int second = freeport();
    if (second == first)
        second = freeport();
    Form1->Edit_TCP_S_port->setText(QString::number(second));
    press();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_EQ(port(), second);

    QTcpSocket old;
    old.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(first));
    EXPECT_TRUE(waitfor([&] { return old.error() == QAbstractSocket::ConnectionRefusedError; }));
    Client now = client(second);
    EXPECT_EQ(count("TCP server připojen..."), 1);
}

TEST_F(TcpServer, ATakenPortFailsLeavesThePanelClosedAndPressingAgainRetries) {
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::AnyIPv4, 0));
    Form1->Edit_TCP_S_port->setText(QString::number(holder.serverPort()));
    press();
    EXPECT_EQ(fakeDialogs().errors,
              QStringList{"Could not bind socket. Address and port are already in use."});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_EQ(Form1->Button_TCP_S_On->text(), "Připojit");
    EXPECT_TRUE(Form1->Edit_TCP_S_port->isEnabled());
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_TRUE(mix().isEmpty());

    press();
    EXPECT_EQ(fakeDialogs().errors.size(), 2) << "pressing again tries again";
    holder.close();
    press();
    EXPECT_TRUE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_EQ(fakeDialogs().errors.size(), 2);

    Form1->session.close(LinkKind::TcpServer);
    Form1->Edit_TCP_S_port->setText("12x");
    press();
    EXPECT_EQ(fakeDialogs().errors.value(2), "'12x' is not a valid integer value");
    EXPECT_TRUE(Form1->Edit_TCP_S_port->isEnabled());
}

TEST_F(TcpServer, FiftyClientsThatResetWhileOneSendsLeaveTheServerWorking) {
    Form_RX_TX->CheckBox_adr->setChecked(false);
    press();
    std::vector<Client> hostile;
    // In groups the listen backlog holds, so that every one is accepted.
    for (int i = 0; i < 50; ++i) {
        hostile.push_back(std::make_unique<QTcpSocket>());
        hostile.back()->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port()));
        if (i % 10 == 9) {
            ASSERT_TRUE(waitfor([i] { return count("TCP server připojen...") == i + 1; }));
        }
    }
    Client good = client();
    QByteArray expected;
    for (int i = 0; i < 40; ++i) {
        const QByteArray piece = QByteArray::number(i) + ";";
        good->write(piece);
        expected += piece;
        if (i == 10) {
            for (Client &socket : hostile) {
                ::linger hard{1, 0};
                ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                             &hard, sizeof hard);
                socket->abort();
            }
        }
        pause(5);
    }
    ASSERT_TRUE(waitfor([] { return count("TCP server odpojen...") == 50; }));
    EXPECT_EQ(Form1->session.linkas<TcpServerLink>(LinkKind::TcpServer).clientCount(), 1);
    EXPECT_TRUE(Form1->session.isopen(LinkKind::TcpServer));
    ASSERT_TRUE(waitfor([&] { return blocks() == expected; }))
        << blocks().toStdString() << " instead of " << expected.toStdString();

    send();
    EXPECT_EQ(receive(*good, 5), "hello");
    pause(300);
    EXPECT_EQ(count("TCP server připojen..."), 51);
    EXPECT_EQ(count("TCP server odpojen..."), 50);
}

TEST_F(TcpServer, TheSettingsMenuClosesTheServerButTheWindowsCloseDoesNot) {
    press();
    Client a = client();
    Form1->close();
    EXPECT_TRUE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_EQ(count("TCP server odpojen..."), 0);
    pause(50);
    EXPECT_EQ(a->state(), QAbstractSocket::ConnectedState);

    fakeDialogs().files.push_back(dir.filePath("other.ini"));
    Form1->Otevtnastaven1->trigger();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpServer));
    EXPECT_EQ(count("TCP server odpojen..."), 1);
    EXPECT_TRUE(waitfor([&] { return a->state() == QAbstractSocket::UnconnectedState; }));
}

} // namespace
