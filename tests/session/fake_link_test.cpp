// The session on links of the test's own: its answers, records, active-link
// order, stream framing and failures, without sockets and without waiting.
#include "entry_lines.h"
#include "fake_link.h"
#include "session.h"

#include <gtest/gtest.h>

namespace {

class FakeLinks : public ::testing::Test {
protected:
    // The links and the sink outlive the session that uses them.
    FakeLink serial, udp, client{true};
    Entries log;
    QStringList failures;
    Session session;

    void SetUp() override {
        session.addsink(&log);
        session.report = [this](const QString &message) { failures << message; };
        session.uselink(LinkKind::Serial, serial);
        session.uselink(LinkKind::Udp, udp);
        session.uselink(LinkKind::TcpClient, client);
        session.setup.macros = {{"ack", "<ack>OK", false, "1000"}};
        session.setfilters({{"<stx>", false, true, "ack"}});
        session.setup.rx_port = "0";
        session.setup.tx_adr = "10.0.0.9";
        session.setup.tx_port = "9876";
        session.setup.tcp_c_p = "500";
    }
};

TEST_F(FakeLinks, ABlockIsLoggedThenAnsweredOnTheLinkItCameFrom) {
    session.setup.connection = static_cast<int>(LinkKind::Udp);
    session.open(LinkKind::Udp);
    udp.arrive("\x02hi", "10.0.0.5:5000");
    udp.arrive("no", "10.0.0.5:5000");
    EXPECT_EQ(udp.sent, std::vector<std::string>{"\x06OK"});
    EXPECT_EQ(log.atleast(4),
              (QStringList{"state UDP server připojen", "rx 10.0.0.5:5000 [ack] \x02hi",
                           "tx 10.0.0.9 : 9876 [] \x06OK", "rx 10.0.0.5:5000 [] no"}));
}

TEST_F(FakeLinks, ABlockWaitingToBeLoggedGoesBeforeLaterLinesAndToASinkThatLeaves) {
    session.setup.connection = static_cast<int>(LinkKind::Udp);
    session.open(LinkKind::Udp);
    udp.arrive("\x02hi", "10.0.0.5:5000");
    EXPECT_EQ(log.lines.size(), 1) << "the block and its answer wait a moment";
    session.send(1);
    EXPECT_EQ(log.lines,
              (QStringList{"state UDP server připojen", "rx 10.0.0.5:5000 [ack] \x02hi",
                           "tx 10.0.0.9 : 9876 [] \x06OK", "tx 10.0.0.9 : 9876 [] \x06OK"}));
    udp.arrive("no", "10.0.0.5:5000");
    session.removesink(&log);
    EXPECT_EQ(log.lines.value(4), "rx 10.0.0.5:5000 [] no");
}

TEST_F(FakeLinks, ASendTakesTheFirstOpenLinkInItsOrder) {
    session.open(LinkKind::Udp);
    session.chooseserial(SerialSettings{3, {}, 9600, 8});
    session.open(LinkKind::Serial);
    session.send(1);
    EXPECT_EQ(serial.sent.size(), 1u) << "the serial port comes before UDP";
    EXPECT_TRUE(udp.sent.empty());
    EXPECT_EQ(log.lines.last(), "tx COM3 [] \x06OK");
    session.close(LinkKind::Serial);
    session.send(1);
    EXPECT_EQ(udp.sent.size(), 1u);
    session.close(LinkKind::Udp);
    session.send(1);
    EXPECT_EQ(log.lines.last(), "error CHYBA: Žádné aktivní připojení");
}

TEST_F(FakeLinks, AStreamIsFramedAtAQuietTickAndItsHangUpIsRecorded) {
    session.setup.connection = static_cast<int>(LinkKind::TcpClient);
    QList<bool> changes;
    QObject::connect(&session, &Session::linkchanged, [&](LinkKind kind, bool open) {
        if (kind == LinkKind::TcpClient)
            changes << open;
    });
    session.open(LinkKind::TcpClient);
    client.arrive("\x02"
                  "A");
    session.framer(LinkKind::TcpClient)->tick();
    client.arrive("B");
    session.framer(LinkKind::TcpClient)->tick();
    EXPECT_EQ(log.lines.size(), 1) << "still growing: no block yet";
    session.framer(LinkKind::TcpClient)->tick();
    client.hangup();
    EXPECT_EQ(log.lines, (QStringList{"state TCP klient připojen",
                                      "rx TCP-IP :500 [ack] \x02"
                                      "AB",
                                      "tx 127.0.0.1 : 500 [] \x06OK", "state TCP klient odpojen"}));
    EXPECT_EQ(changes, (QList<bool>{true, false}));
}

TEST_F(FakeLinks, ALinkThatRefusesASendIsRecordedAfterTheRecord) {
    session.open(LinkKind::Udp);
    udp.refuse = "the peer is gone";
    session.send(1);
    EXPECT_EQ(log.lines.mid(log.lines.size() - 2),
              (QStringList{"tx 10.0.0.9 : 9876 [] \x06OK", "error CHYBA: Nepovedlo se odeslat."}));
    EXPECT_TRUE(failures.isEmpty()) << "a failed send is a log line, not an error box";
}

} // namespace
