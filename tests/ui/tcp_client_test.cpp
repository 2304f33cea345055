// The TCP client through the real windows against peers of the test on
// 127.0.0.1: connecting and its failures, the gap framing of the stream,
// the server's close, the send and peers that never read.
#include "forms_fixture.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "log_seam.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "raw_listener.h"
#include "received_window.h"
#include "states_window.h"
#include "wait_for.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

void pause(int ms) {
    waitfor([] { return false; }, ms);
}

class TcpClient : public FormsTest {
protected:
    QTcpServer server;

    void SetUp() override {
        FormsTest::SetUp();
        start();
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        Form1->ComboBox_pripojeni->setCurrentIndex(1);
        Form1->ComboBox_pripojeniChange();
        Form1->Edit_tcp_k_addr->setText("127.0.0.1");
        Form1->Edit_tcp_k_port->setText(QString::number(server.serverPort()));
        Form_RX_TX->CheckBox_rx->setChecked(true);
        Form_RX_TX->CheckBox_tx->setChecked(true);
        Form_RX_TX->CheckBox_adr->setChecked(true);
    }

    void TearDown() override {
        Form1->session.close(LinkKind::TcpClient);
        FormsTest::TearDown();
    }

    static void click() { Form1->Button_TCP_C_On->click(); }

    // Connects through the button and returns the server's side.
    QTcpSocket *connectpeer() {
        click();
        EXPECT_TRUE(Form1->session.isopen(LinkKind::TcpClient))
            << fakeDialogs().errors.join("|").toStdString();
        if (!waitfor([&] { return server.hasPendingConnections(); }))
            return nullptr;
        return server.nextPendingConnection();
    }

    static QStringList mixtexts() { return seam::texts(Form_RX_TX->RichEdit_mix); }
    // The data line of every received record, without its indent.
    static QStringList blocks() {
        QStringList found;
        const QStringList texts = mixtexts();
        for (int i = 0; i + 1 < texts.size(); ++i)
            if (texts[i].startsWith("Přijal data"))
                found << texts[i + 1].mid(2);
        return found;
    }
    static TFrame_tx *macro(int n) { return Form_TX->tx_frames[n]; }

    static std::vector<QWidget *> panelfields() {
        return {Form1->Label11, Form1->Label2, Form1->Edit_tcp_k_addr, Form1->Edit_tcp_k_port,
                Form1->ComboBox_pripojeni};
    }
};

TEST_F(TcpClient, ConnectingAndDisconnectingSetCaptionTitleRecordsAndFields) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form1->Edit_tcp_k_addr->setText("localhost");
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Odpojit");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  TCP klient připojen");
    for (QWidget *control : panelfields())
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_EQ(mixtexts(), QStringList{"TCP klient připojen"});

    click();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    for (QWidget *control : panelfields())
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_EQ(mixtexts(), (QStringList{"TCP klient připojen", "TCP klient odpojen"}));
    EXPECT_TRUE(waitfor([&] { return peer->state() != QAbstractSocket::ConnectedState; }));

    // Another kind's button closes the client first.
    peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    Form1->Edit_rx_port->setText("0");
    Form1->Button_UDP_On->click();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
    EXPECT_EQ(mixtexts().count("TCP klient odpojen"), 2);
    EXPECT_TRUE(waitfor([&] { return peer->state() != QAbstractSocket::ConnectedState; }));
    Form1->session.close(LinkKind::Udp);
}

TEST_F(TcpClient, ClosingTheMainWindowDisconnects) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    Form1->close();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_EQ(mixtexts().count("TCP klient odpojen"), 1);
    EXPECT_TRUE(waitfor([&] { return peer->state() != QAbstractSocket::ConnectedState; }));
}

TEST_F(TcpClient, AConnectThatFailsLeavesThePanelAsItWas) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    // A refused port fails at once.
    const quint16 closed = server.serverPort();
    server.close();
    QElapsedTimer clock;
    clock.start();
    click();
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_EQ(fakeDialogs().errors.size(), 1);
    EXPECT_TRUE(fakeDialogs().errors[0].contains("refused", Qt::CaseInsensitive))
        << fakeDialogs().errors[0].toStdString() << " on port " << closed;

    // So does a host that cannot be resolved.
    Form1->Edit_tcp_k_addr->setText("nohost.invalid");
    clock.restart();
    click();
    EXPECT_LT(clock.elapsed(), 3000);
    ASSERT_EQ(fakeDialogs().errors.size(), 2);
    EXPECT_EQ(fakeDialogs().errors[1], "Cannot resolve host \"nohost.invalid\".");

    // And a port text the integer rule rejects.
    Form1->Edit_tcp_k_port->setText("5o0");
    click();
    EXPECT_EQ(fakeDialogs().errors.value(2), "'5o0' is not a valid integer value");

    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    for (QWidget *control : panelfields())
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    // The closes each button runs first write no record of this kind.
    EXPECT_TRUE(mixtexts().isEmpty()) << mixtexts().join("|").toStdString();
}

TEST_F(TcpClient, AConnectNobodyAnswersTimesOutAfterASecondWithoutRunningEvents) {
    // A queue of one that is full: the system drops further connects unanswered.
    RawListener full(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target.sin_port = htons(static_cast<uint16_t>(full.port()));
        ::connect(filler, reinterpret_cast<sockaddr *>(&target), sizeof target);
        fillers.push_back(filler);
    }
    pause(100);

    Form1->Edit_tcp_k_port->setText(QString::number(full.port()));
    // The timer is owned by the test's own object, so a shot that fires after
    // the test cannot write into its stack.
    QObject owner;
    bool ranevents = false;
    QTimer::singleShot(0, &owner, [&] { ranevents = true; });
    QElapsedTimer clock;
    clock.start();
    click();
    const qint64 took = clock.elapsed();
    EXPECT_FALSE(ranevents);
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 1500);
    EXPECT_EQ(fakeDialogs().errors, QStringList{"Connect timed out."});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
    for (int filler : fillers)
        ::close(filler);
}

TEST_F(TcpClient, APauseOfATickEndsABlock) {
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    peer->write("AB");
    pause(500);
    peer->write("CD");
    ASSERT_TRUE(waitfor([] { return blocks().size() >= 2; }));
    pause(250);
    EXPECT_EQ(blocks(), (QStringList{"AB", "CD"}));
    EXPECT_EQ(mixtexts().value(0), "Přijal data z: TCP-IP :500 :");
    EXPECT_EQ(mixtexts().value(2), "Přijal data z: TCP-IP :500 :");
}

TEST_F(TcpClient, APeerThatNeverPausesIsHandedOnInBlocksOfOneMebibyte) {
    Form_RX_TX->CheckBox_adr->setChecked(false);
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    QByteArray stream;
    for (int i = 0; stream.size() < 3 * (1 << 20); ++i)
        stream += QByteArray::number(i % 10);
    peer->write(stream);
    ASSERT_TRUE(waitfor([&] { return blocks().join("").size() >= stream.size(); }, 10000));
    const QStringList got = blocks();
    for (const QString &block : got)
        EXPECT_LE(block.size(), 1 << 20);
    EXPECT_EQ(got.value(0).size(), 1 << 20);
    EXPECT_EQ(got.join("").toLatin1(), stream) << "every byte, in order";
}

TEST_F(TcpClient, ATrickleFasterThanATickIsOneBlockHandedOnAfterItsLastByte) {
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    QByteArray expected;
    QElapsedTimer sincelast;
    for (int i = 0; i < 40; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        expected += byte;
        peer->write(&byte, 1);
        peer->flush();
        sincelast.start();
        pause(50);
        ASSERT_TRUE(blocks().isEmpty()) << "cut after " << i + 1 << " bytes";
    }
    ASSERT_TRUE(waitfor([] { return !blocks().isEmpty(); }, 1000));
    const qint64 after = sincelast.elapsed();
    EXPECT_GE(after, 90);
    EXPECT_LE(after, 260);
    pause(250);
    EXPECT_EQ(blocks(), QStringList{QString::fromLatin1(expected)});
}

TEST_F(TcpClient, TheServersCloseComesAfterEveryByteItSent) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    // More than the link takes in one pass, all of it sent just before the close.
    QByteArray data;
    for (int i = 0; i < 300000; ++i)
        data += static_cast<char>('a' + i % 26);
    peer->write(data);
    peer->disconnectFromHost();

    ASSERT_TRUE(waitfor([] { return !Form1->session.isopen(LinkKind::TcpClient); }));
    ASSERT_TRUE(waitfor([] { return mixtexts().count("TCP klient odpojen") == 1; }));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    for (QWidget *control : panelfields())
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();

    ASSERT_TRUE(waitfor([] { return !blocks().isEmpty(); }));
    pause(250);
    EXPECT_EQ(blocks(), QStringList{QString::fromLatin1(data)});
    const QStringList texts = mixtexts();
    EXPECT_EQ(texts.value(0), "TCP klient připojen");
    EXPECT_EQ(texts.value(1), "TCP klient odpojen");
    EXPECT_EQ(texts.value(2), "Přijal data z: TCP-IP :500 :");
}

TEST_F(TcpClient, ASecondConnectionReadsItsOwnBytesOnce) {
    QTcpSocket *first = connectpeer();
    ASSERT_NE(first, nullptr);
    first->write("one");
    ASSERT_TRUE(waitfor([] { return blocks().size() == 1; }));
    click();
    first->write("late");

    QTcpSocket *second = connectpeer();
    ASSERT_NE(second, nullptr);
    second->write("two");
    ASSERT_TRUE(waitfor([] { return blocks().size() >= 2; }));
    pause(300);
    EXPECT_EQ(blocks(), (QStringList{"one", "two"}));
}

TEST_F(TcpClient, WithReconnectionTheClientWaitsForItsServerAndComesBack) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form1->Obnovovatspojeni1->trigger();
    TFrame_filtr *filter = Form_RX_filtr->filtr_frames[1];
    filter->ComboBox_filtr_macro->setEditText("tx_1");
    filter->CheckBox_filtr_active->setChecked(true);
    Form_TX->tx_frames[1]->Edit_data->setText("<ack>");
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);

    // The server restarts: it goes, the client waits, it comes again.
    const quint16 port = server.serverPort();
    server.close();
    peer->close();
    ASSERT_TRUE(waitfor(
        [] { return Form1->session.linkas<TcpClientLink>(LinkKind::TcpClient).waiting(); }));
    EXPECT_EQ(mixtexts(), (QStringList{"TCP klient připojen", "TCP klient odpojen",
                                       "TCP klient čeká na server..."}));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Odpojit");
    EXPECT_TRUE(Form1->windowTitle().endsWith(" čeká"));
    pause(1500);
    EXPECT_EQ(mixtexts().size(), 3) << "one record per loss, not per try";
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 3000));
    peer = server.nextPendingConnection();
    ASSERT_TRUE(waitfor([] { return Form1->session.isopen(LinkKind::TcpClient); }));
    EXPECT_EQ(mixtexts().last(), "TCP klient připojen");
    peer->write("ping");
    ASSERT_TRUE(waitfor([&] { return peer->bytesAvailable() > 0 || peer->waitForReadyRead(10); }));
    EXPECT_EQ(peer->readAll(), "\x06");

    // "Odpojit" while waiting ends the wait.
    server.close();
    peer->close();
    ASSERT_TRUE(waitfor(
        [] { return Form1->session.linkas<TcpClientLink>(LinkKind::TcpClient).waiting(); }));
    click();
    EXPECT_FALSE(Form1->session.linkas<TcpClientLink>(LinkKind::TcpClient).waiting());
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
    EXPECT_EQ(mixtexts().last(), "TCP klient odpojen");
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    pause(1500);
    EXPECT_FALSE(server.hasPendingConnections());

    // A first connect that is refused waits too, without an error box.
    server.close();
    click();
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
    EXPECT_TRUE(Form1->session.linkas<TcpClientLink>(LinkKind::TcpClient).waiting());
    EXPECT_EQ(mixtexts().last(), "TCP klient čeká na server...");
}

TEST_F(TcpClient, AFailingFilterKeepsTheBytesUntilItIsSwitchedOff) {
    TFrame_filtr *filter = Form_RX_filtr->filtr_frames[1];
    filter->Edit_filtr->setText("$zz");
    filter->CheckBox_filtr_active->setChecked(true);
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    peer->write("AB");
    ASSERT_TRUE(waitfor([] { return fakeDialogs().errors.size() >= 2; }));
    peer->write("CD");
    pause(300);
    EXPECT_TRUE(blocks().isEmpty());
    filter->CheckBox_filtr_active->setChecked(false);
    ASSERT_TRUE(waitfor([] { return !blocks().isEmpty(); }));
    pause(250);
    EXPECT_EQ(blocks(), QStringList{"ABCD"});
    for (const QString &error : fakeDialogs().errors)
        EXPECT_EQ(error, "'$zz' is not a valid integer value");
}

TEST_F(TcpClient, SendsGoToTheServerInOrder) {
    QTcpSocket *peer = connectpeer();
    ASSERT_NE(peer, nullptr);
    macro(1)->Edit_data->setText("first<cr>");
    macro(1)->Button_send->click();
    macro(1)->Edit_data->setText("second");
    macro(1)->Button_send->click();
    // An empty block is logged but sends nothing.
    macro(1)->Edit_data->clear();
    macro(1)->Button_send->click();

    QByteArray got;
    waitfor([&] {
        got += peer->readAll();
        return got.size() >= 12;
    });
    pause(100);
    got += peer->readAll();
    EXPECT_EQ(got, "first\rsecond");
    const QString header = QString("Odeslal data na: 127.0.0.1 : %1 :").arg(server.serverPort());
    EXPECT_EQ(mixtexts(), (QStringList{header, "  first<cr>", header, "  second", header, "  "}));
}

// A peer that never reads, with buffers small enough that a block of 30 000
// bytes cannot all be taken by the system.
class StuckPeer : public TcpClient {
protected:
    RawListener listener{4, 2048};

    void connectstuck() {
        Form1->Edit_tcp_k_port->setText(QString::number(listener.port()));
        click();
        ASSERT_TRUE(Form1->session.isopen(LinkKind::TcpClient));
        Form1->session.linkas<TcpClientLink>(LinkKind::TcpClient)
            .socket()
            .setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 2048);
        macro(1)->Edit_data->setText(QString(30000, 'x'));
        Form_RX_TX->CheckBox_tx->setChecked(false);
    }
    static int errorlines() { return mixtexts().count("CHYBA: Nepovedlo se odeslat."); }
};

TEST_F(StuckPeer, ASendToAPeerThatNeverReadsFailsWithinTheBound) {
    connectstuck();
    QElapsedTimer clock;
    clock.start();
    macro(1)->Button_send->click();
    const qint64 took = clock.elapsed();
    EXPECT_EQ(errorlines(), 1);
    EXPECT_GE(took, 4500);
    EXPECT_LT(took, 6000);

    // The program stays responsive: the next send fails at once, timers run.
    clock.restart();
    macro(1)->Button_send->click();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(errorlines(), 2);
    QObject owner;
    bool ticked = false;
    QTimer::singleShot(20, &owner, [&] { ticked = true; });
    EXPECT_TRUE(waitfor([&] { return ticked; }, 200));
    EXPECT_TRUE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(StuckPeer, AResetDuringASendFailsItAtOnce) {
    // The peer takes nothing, then resets the connection while the send waits.
    std::thread peerthread([fd = listener.fd()] {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) <= 0)
            return;
        const int peer = ::accept(fd, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        const linger reset{1, 0};
        ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(peer);
    });
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    connectstuck();
    QElapsedTimer clock;
    clock.start();
    macro(1)->Button_send->click();
    const qint64 took = clock.elapsed();
    peerthread.join();
    EXPECT_EQ(errorlines(), 1);
    EXPECT_GE(took, 500);
    EXPECT_LT(took, 2500);
    ASSERT_TRUE(waitfor([] { return mixtexts().contains("TCP klient odpojen"); }));
    EXPECT_FALSE(Form1->session.isopen(LinkKind::TcpClient));
    EXPECT_EQ(Form1->Button_TCP_C_On->text(), "Připojit");
}

TEST_F(StuckPeer, BytesThatArriveWhileABlockIsAnsweredMakeTheNextBlock) {
    // The answer to "AB" cannot all be taken until the peer reads; while the
    // send waits, "CD" arrives and joins the buffer behind the block.
    std::thread peerthread([fd = listener.fd()] {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) <= 0)
            return;
        const int peer = ::accept(fd, nullptr, nullptr);
        ::send(peer, "AB", 2, 0);
        pollfd answer{peer, POLLIN, 0};
        if (::poll(&answer, 1, 3000) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ::send(peer, "CD", 2, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        char sink[4096];
        size_t got = 0;
        while (got < 30000 && ::poll(&answer, 1, 3000) > 0) {
            const ssize_t n = ::recv(peer, sink, sizeof sink, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        ::close(peer);
    });
    connectstuck();
    macro(1)->Edit_popis->setText("ack");
    TFrame_filtr *filter = Form_RX_filtr->filtr_frames[1];
    filter->Edit_filtr->setText("A");
    filter->ComboBox_filtr_macro->setEditText("ack");
    filter->CheckBox_filtr_active->setChecked(true);

    const bool both = waitfor([] { return blocks().size() >= 2; }, 3000);
    peerthread.join();
    ASSERT_TRUE(both) << mixtexts().join("|").toStdString();
    EXPECT_EQ(blocks(), (QStringList{"AB", "CD"}));
    EXPECT_EQ(errorlines(), 0);
}

} // namespace
