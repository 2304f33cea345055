// The whole loop over UDP through the real windows: a peer socket on
// 127.0.0.1 talks to the program, filters answer it, and the logs show it.
#include "udp_fixture.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "log_seam.h"
#include "log_view.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"
#include "wait_for.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <optional>
#include <thread>

namespace {

const LineStyle black{QColor(0, 0, 0), "MS Sans Serif"};
const LineStyle red{QColor(255, 0, 0), "Courier"};
const LineStyle blue{QColor(0, 0, 255), "Courier"};

class UdpLoop : public UdpFixture {
protected:
    void SetUp() override {
        UdpFixture::SetUp();
        Form_RX_TX->CheckBox_rx->setChecked(true);
        Form_RX_TX->CheckBox_tx->setChecked(true);
    }

    // Datagrams the peer receives within the time.
    QList<QNetworkDatagram> peerreceives(int expected, int ms = 2000) {
        QList<QNetworkDatagram> got;
        waitfor(
            [&] {
                while (peer.hasPendingDatagrams())
                    got << peer.receiveDatagram();
                return got.size() >= expected;
            },
            ms);
        return got;
    }

    static TFrame_tx *macro(int n) { return Form_TX->tx_frames[n]; }
    static TFrame_filtr *filter(int n) { return Form_RX_filtr->filtr_frames[n]; }

    static void setmacro(int n, const QString &name, const QString &data) {
        while (Form_TX->tx_count < n)
            Form_TX->Button_new_tx->click();
        macro(n)->Edit_popis->setText(name);
        macro(n)->Edit_data->setText(data);
    }

    static void setfilter(int n, const QString &text, const QString &name, bool active = true) {
        while (Form_RX_filtr->filtr_count < n)
            Form_RX_filtr->Button_filtr_new->click();
        filter(n)->Edit_filtr->setText(text);
        filter(n)->ComboBox_filtr_macro->setEditText(name);
        filter(n)->CheckBox_filtr_active->setChecked(active);
    }

    static std::vector<LogLine> mix() { return seam::lines(Form_RX_TX->RichEdit_mix); }
    static QStringList mixtexts() {
        QStringList texts;
        for (const LogLine &line : mix())
            texts << line.text;
        return texts;
    }
    // A received block and its answer are logged a moment after the answer
    // left.
    static void logged(std::size_t count) {
        waitfor([&] { return mix().size() >= count; }, 1000);
    }
    static QString received() { return seam::plaintext(Form_rxw->RichEdit_rx); }
    static QString sent() { return seam::plaintext(Form_txw->RichEdit_tx); }
};

TEST_F(UdpLoop, ADatagramIsLoggedAndAnsweredByTheMacroItsFilterNames) {
    setmacro(1, "ack", "<ack>OK");
    setfilter(1, "<stx>", "ack");
    openudp();
    sendtoprogram("\x02hi");

    const auto replies = peerreceives(1);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].data(), "\x06OK");
    EXPECT_EQ(replies[0].senderPort(), localport);

    logged(4);
    const std::vector<LogLine> lines = mix();
    ASSERT_EQ(lines.size(), 4u) << mixtexts().join("|").toStdString();
    EXPECT_EQ(lines[0].text, "Přijal data :");
    EXPECT_EQ(lines[0].style, black);
    EXPECT_EQ(lines[1].text, "  <stx>hi");
    EXPECT_EQ(lines[1].style, red);
    EXPECT_EQ(lines[2].text, "Odeslal data :");
    EXPECT_EQ(lines[2].style, black);
    EXPECT_EQ(lines[3].text, "  <ack>OK");
    EXPECT_EQ(lines[3].style, blue);
    EXPECT_TRUE(received().contains("hi"));
    EXPECT_TRUE(sent().contains("OK"));
}

TEST_F(UdpLoop, HeadersCarryTheSourceAndTheCalledMacros) {
    Form_RX_TX->CheckBox_adr->setChecked(true);
    Form_RX_TX->CheckBox_makro->setChecked(true);
    setmacro(1, "A", "first");
    setmacro(2, "B", "second");
    setfilter(1, "", "A");
    setfilter(2, "x", "B");
    openudp();
    sendtoprogram("xyz");

    const auto replies = peerreceives(1);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].data(), "second");
    EXPECT_TRUE(peerreceives(1, 200).isEmpty()) << "only the last match is answered";
    logged(4);
    const QStringList texts = mixtexts();
    ASSERT_GE(texts.size(), 3);
    EXPECT_EQ(texts[0], QString("Přijal data z: 127.0.0.1:%1 / Volá makro: A / Volá makro: B :")
                            .arg(peer.localPort()));
    EXPECT_EQ(texts[2], QString("Odeslal data na: 127.0.0.1 : %1 :").arg(peer.localPort()));

    sendtoprogram("yz");
    ASSERT_EQ(peerreceives(1).size(), 1);
    logged(8);
    EXPECT_EQ(mixtexts().value(4),
              QString("Přijal data z: 127.0.0.1:%1 / Volá makro: A :").arg(peer.localPort()));
}

TEST_F(UdpLoop, TheLaterOfTwoEqualDescriptionsIsSent) {
    Form_RX_TX->CheckBox_makro->setChecked(true);
    setmacro(1, "dup", "one");
    setmacro(2, "dup", "two");
    setfilter(1, "a", "dup");
    setfilter(2, "$zz", "dup", false); // inactive: its bad text is never read
    openudp();
    sendtoprogram("abc");

    const auto replies = peerreceives(1);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].data(), "two");
    logged(4);
    EXPECT_EQ(mixtexts().value(0), "Přijal data / Volá makro: dup / Volá makro: dup :");
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(UdpLoop, AFilterThatFailsLogsTheBlockThenReportsAndAnswersNothing) {
    Form_RX_TX->CheckBox_makro->setChecked(true);
    setmacro(1, "ack", "reply");
    setfilter(1, "", "ack");
    setfilter(2, "$zz", "ack");
    openudp();
    // The log shows the block while its error box is up.
    std::optional<QStringList> shownatbox;
    fakeDialogs().whileerror = [&] {
        if (!shownatbox)
            shownatbox = mixtexts();
    };
    sendtoprogram("abc");
    sendtoprogram("def");
    sendtoprogram("ghi");

    ASSERT_TRUE(waitfor([] { return mix().size() >= 6; })) << mixtexts().join("|").toStdString();
    EXPECT_EQ(shownatbox.value_or(QStringList{"no box"}), (QStringList{"Přijal data :", "  abc"}));
    EXPECT_EQ(fakeDialogs().errors.value(0), "'$zz' is not a valid integer value");
    EXPECT_TRUE(peerreceives(1, 200).isEmpty());
    EXPECT_EQ(mixtexts(), (QStringList{"Přijal data :", "  abc", "Přijal data :", "  def",
                                       "Přijal data :", "  ghi"}));
    for (const char *block : {"abc", "def", "ghi"})
        EXPECT_TRUE(received().contains(block)) << block;
}

TEST_F(UdpLoop, EveryDatagramIsOneBlockUpToTwoKilobytes) {
    setfilter(1, "", "none");
    openudp();
    sendtoprogram(QByteArray(2048, 'a'));
    sendtoprogram(QByteArray(2049, 'b'));
    sendtoprogram(QByteArray());
    sendtoprogram("one");
    sendtoprogram("two");

    ASSERT_TRUE(waitfor([] { return mix().size() >= 8; }));
    waitfor([] { return false; }, 100);
    const QStringList texts = mixtexts();
    ASSERT_EQ(texts.size(), 8) << texts.join("|").toStdString();
    EXPECT_EQ(texts[1], "  " + QString(2048, 'a'));
    EXPECT_EQ(texts[3], "  ");
    EXPECT_EQ(texts[5], "  one");
    EXPECT_EQ(texts[7], "  two");
}

TEST_F(UdpLoop, APastedTextOfFortyThousandCharactersIsSentWhole) {
    openudp();
    QApplication::clipboard()->setText(QString(40000, 'p'));
    macro(1)->Edit_data->clear();
    macro(1)->Edit_data->paste();
    macro(1)->Button_send->click();
    const auto got = peerreceives(1);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].data(), QByteArray(40000, 'p'));
}

TEST_F(UdpLoop, SendWithoutALinkWritesOnlyTheErrorLine) {
    macro(1)->Button_send->click();
    const std::vector<LogLine> lines = mix();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "CHYBA: Žádné aktivní připojení");
    EXPECT_EQ(lines[0].style.colour, QColor(0, 0, 0));
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(UdpLoop, ABadDestinationPortIsLoggedThenReported) {
    Form1->Edit_tx_port->setText("abc");
    openudp();
    macro(1)->Button_send->click();
    const std::vector<LogLine> lines = mix();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "Odeslal data :");
    EXPECT_EQ(lines[1].text, "  data_1");
    EXPECT_EQ(lines[2].text, "CHYBA: Nepovedlo se odeslat.");
    EXPECT_EQ(lines[2].style, black);
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(UdpLoop, AHexTextThatFailsShowsOnlyTheErrorBox) {
    openudp();
    macro(1)->CheckBox_hex->setChecked(true);
    macro(1)->Edit_data->setText("4g");
    macro(1)->Button_send->click();
    EXPECT_EQ(fakeDialogs().errors, QStringList{"'$4g' is not a valid integer value"});
    EXPECT_TRUE(mix().empty());
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_TRUE(peerreceives(1, 200).isEmpty());
}

TEST_F(UdpLoop, AnEmptyMacroGoesOutAsAnEmptyDatagram) {
    macro(1)->Edit_data->clear();
    openudp();
    macro(1)->Button_send->click();
    const auto got = peerreceives(1);
    ASSERT_EQ(got.size(), 1);
    EXPECT_TRUE(got[0].data().isEmpty());
    EXPECT_EQ(mixtexts(), (QStringList{"Odeslal data :", "  "}));
}

TEST_F(UdpLoop, OpeningAndClosingSetTitleRecordsAndControls) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    openudp();
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  UDP připojen");
    EXPECT_EQ(Form1->Button_UDP_On->text(), "Odpojit");
    EXPECT_EQ(mixtexts(), QStringList{"UDP server připojen"});
    for (QWidget *control :
         {static_cast<QWidget *>(Form1->ComboBox_pripojeni),
          static_cast<QWidget *>(Form1->Edit_tx_adr), static_cast<QWidget *>(Form1->Edit_rx_port),
          static_cast<QWidget *>(Form1->Label7)})
        EXPECT_FALSE(control->isEnabled());

    openudp();
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_EQ(Form1->Button_UDP_On->text(), "Připojit");
    EXPECT_EQ(mixtexts(), (QStringList{"UDP server připojen", "UDP server odpojen"}));
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_TRUE(Form1->Edit_rx_port->isEnabled());

    Form1->settingstitle = "lab - ";
    openudp();
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 - lab -  UDP připojen");
}

TEST_F(UdpLoop, RecordsBelongToTheKindTheSelectorShows) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form1->ComboBox_pripojeni->setCurrentIndex(1);
    openudp();
    EXPECT_EQ(mixtexts(), QStringList{"TCP klient odpojen"});
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  UDP připojen");

    Form1->ComboBox_pripojeni->setCurrentIndex(4);
    Form1->session.close(LinkKind::Icmp);
    EXPECT_EQ(mixtexts(), (QStringList{"TCP klient odpojen", "ICMP odpojen"}));
}

TEST_F(UdpLoop, ATakenPortFailsTheOpenAndLeavesThePanelToBeCorrected) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    Form1->Edit_rx_port->setText(QString::number(holder.localPort()));
    openudp();
    EXPECT_EQ(fakeDialogs().errors,
              QStringList{"Could not bind socket. Address and port are already in use."});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Udp));
    EXPECT_EQ(Form1->Button_UDP_On->text(), "Připojit");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_TRUE(mixtexts().isEmpty());
    for (const char *name : {"ComboBox_pripojeni", "Edit_tx_adr", "Edit_tx_port", "Edit_rx_port",
                             "Label4", "Label5", "Label7"})
        EXPECT_TRUE(Form1->findChild<QWidget *>(name)->isEnabled()) << name;

    // The corrected port opens at once.
    Form1->Edit_rx_port->setText("0");
    openudp();
    EXPECT_TRUE(Form1->session.isopen(LinkKind::Udp));
}

TEST_F(UdpLoop, AnInvalidLocalPortIsReported) {
    Form1->Edit_rx_port->setText("1x");
    openudp();
    EXPECT_EQ(fakeDialogs().errors, QStringList{"'1x' is not a valid integer value"});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Udp));
    // Typed letters whose Windows-1250 bytes happen to be valid UTF-8
    // are quoted as typed.
    Form1->Edit_rx_port->setText("Ăˇ");
    openudp();
    EXPECT_EQ(fakeDialogs().errors.value(1), "'Ăˇ' is not a valid integer value");
}

TEST_F(UdpLoop, ARepeatingMacroSendsEveryPeriodUntilUnticked) {
    openudp();
    macro(1)->Edit_interval->setText("50");
    macro(1)->CheckBox1->setChecked(true);
    const auto got = peerreceives(3, 3000);
    EXPECT_GE(got.size(), 3);
    EXPECT_EQ(got.value(0).data(), "data_1");

    macro(1)->CheckBox1->setChecked(false);
    peerreceives(100, 100); // what was under way
    EXPECT_TRUE(peerreceives(1, 300).isEmpty());
}

TEST_F(UdpLoop, ARepeatingMacroReportsAMissingLinkAtEveryTick) {
    macro(1)->Edit_interval->setText("30");
    macro(1)->CheckBox1->setChecked(true);
    ASSERT_TRUE(waitfor([] { return mix().size() >= 2; }));
    macro(1)->CheckBox1->setChecked(false);
    for (const QString &text : mixtexts())
        EXPECT_EQ(text, "CHYBA: Žádné aktivní připojení");
}

TEST_F(UdpLoop, ClosingTheMainWindowClosesTheLinkAfterStoppingTheRepeats) {
    Form_RX_TX->CheckBox_tx->setChecked(true);
    openudp();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Udp));
    macro(1)->Edit_interval->setText("1");
    macro(1)->CheckBox1->click();
    ASSERT_TRUE(waitfor([] { return mixtexts().contains("Odeslal data :"); }));
    Form1->close();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Udp));
    waitfor([] { return false; }, 100);
    EXPECT_FALSE(mixtexts().contains("CHYBA: Žádné aktivní připojení"))
        << "a repeat after the close";
}

} // namespace

TEST_F(UdpLoop, AFloodNeitherFreezesTheWindowNorKeepsTheUserOut) {
    for (QCheckBox *box : {Form_RX_TX->CheckBox_stavy, Form_RX_TX->CheckBox_time,
                           Form_RX_TX->CheckBox_adr, Form_RX_TX->CheckBox_hex})
        box->setChecked(true);
    openudp();
    const quint16 port = static_cast<quint16>(localport);
    std::atomic<bool> stop = false;
    std::thread flood([&] {
        QUdpSocket sender;
        const QByteArray datagram(64, 'f');
        QElapsedTimer clock;
        clock.start();
        while (!stop && clock.elapsed() < 3000)
            sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
    });

    // A 10 ms timer measures how long the event loop is kept away.
    QElapsedTimer sincetick;
    sincetick.start();
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sincetick.restart()); });
    ticker.start(10);
    // Meanwhile the user closes the link.
    QTimer::singleShot(2000, [] { Form1->Button_UDP_On->click(); });
    waitfor([] { return !Form1->session.isopen(LinkKind::Udp); }, 5000);
    stop = true;
    flood.join();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Udp));
    EXPECT_FALSE(Form_rxw->RichEdit_rx->empty());
    EXPECT_LT(longest, 100);
}
