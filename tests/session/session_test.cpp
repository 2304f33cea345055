// The program's work without any window: a session on real sockets on
// 127.0.0.1, its entries taken by a sink of the test.
#include "entry_lines.h"
#include "errors.h"
#include "session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

namespace {

class SessionTest : public ::testing::Test {
protected:
    Session session;
    Entries entries;
    QUdpSocket peer;

    void SetUp() override {
        session.addsink(&entries);
        session.report = [this](const QString &message) { failures << message; };
        ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    }

    QStringList failures;

    // UDP on a port the system chooses, sending to the peer.
    quint16 openudp() {
        session.setup.connection = static_cast<int>(LinkKind::Udp);
        session.setup.rx_port = "0";
        session.setup.tx_adr = "127.0.0.1";
        session.setup.tx_port = QString::number(peer.localPort());
        session.open(LinkKind::Udp);
        return session.linkas<UdpLink>(LinkKind::Udp).localPort();
    }

    QList<QByteArray> peerreceives(int expected, int ms = 2000) {
        QList<QByteArray> got;
        waitfor(
            [&] {
                while (peer.hasPendingDatagrams())
                    got << peer.receiveDatagram().data();
                return got.size() >= expected;
            },
            ms);
        return got;
    }
};

TEST_F(SessionTest, AUdpBlockIsAnsweredThroughItsFilterWithTheRecordsInOrder) {
    session.setup.macros = {{"ack", "<ack>OK", false, "1000"}, {"raw", "41 42", true, "1000"}};
    session.setfilters({{"<stx>", false, true, "ack"},
                        {"$zz", false, false, "raw"},
                        {"02 68", true, true, "raw"}});
    const quint16 port = openudp();
    peer.writeDatagram(QByteArray("\x02hi"), QHostAddress::LocalHost, port);

    const QList<QByteArray> replies = peerreceives(1);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0], "AB") << "the last match answers, in hexadecimal";
    const QString from = QString("127.0.0.1:%1").arg(peer.localPort());
    EXPECT_EQ(entries.atleast(3),
              (QStringList{"state UDP server připojen", "rx " + from + " [ack,raw] \x02hi",
                           QString("tx 127.0.0.1 : %1 [] AB").arg(peer.localPort())}));
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(SessionTest, AnAnswerIsComputedFromWhatArrivedAndWhatWentBefore) {
    session.setup.macros = {{"echo", "<=1>|<=rx:-2>|<=rx:1,2>|<=rx:9>|<=2>|<=count>", false, ""},
                            {"crc", "01 03 <=crc16-modbus>", true, ""},
                            {"bad", "x<=crc99>", false, ""}};
    FilterSetup expression{"^(..)(x)?", false, true, "echo"};
    expression.mode = MatchMode::Expression;
    session.setfilters({expression});
    const quint16 port = openudp();
    for (const char *block : {"ABCDEF", "QRST"})
        peer.writeDatagram(QByteArray(block), QHostAddress::LocalHost, port);
    const QList<QByteArray> replies = peerreceives(2);
    EXPECT_EQ(replies, (QList<QByteArray>{"AB|EF|BC|||1", "QR|ST|RS|||2"}));
    // The record holds the bytes that left.
    EXPECT_TRUE(entries.atleast(5).contains(
        QString("tx 127.0.0.1 : %1 [] QR|ST|RS|||2").arg(peer.localPort())));

    // A send of its own: what arrived gives nothing, a checksum its bytes.
    session.send(2);
    EXPECT_EQ(peerreceives(1), QList<QByteArray>{QByteArray("\x01\x03\x40\x21", 4)});

    // One that cannot be computed sends nothing and logs nothing.
    const qsizetype before = entries.lines.size();
    try {
        session.send(3);
        ADD_FAILURE() << "the send did not fail";
    } catch (const KrovanError &error) {
        EXPECT_STREQ(error.what(), "Neznámý výpočet '<=crc99>'");
    }
    EXPECT_EQ(entries.lines.size(), before);
    EXPECT_TRUE(peerreceives(1, 200).isEmpty());
}

TEST_F(SessionTest, EveryMatchModeAnswersTheBlocksItMatches) {
    using enum MatchMode;
    struct Case {
        MatchMode mode;
        const char *pattern;
        bool hex;
        QByteArray block;
        bool answered;
    };
    const Case cases[] = {
        {Begins, "<stx>", false,
         "\x02"
         "ab",
         true},
        {Begins, "<stx>", false, "a\x02", false},
        {Begins, "", false, "", true},
        {Contains, "<nul>b", false, QByteArray("a\0bc", 4), true},
        {Contains, "00 FF", true, QByteArray("a\0\xFF", 3), true},
        {Contains, "zz", false, "abc", false},
        {Contains, "", false, "x", true},
        {Ends, "#255", false, "a\xFF", true},
        {Ends, "a", false, "ab", false},
        {Ends, "", false, "", true},
        {Equals, "ab", false, "ab", true},
        {Equals, "ab", false, "abc", false},
        {Equals, "", false, "", true},
        {Equals, "", false, "a", false},
        {Expression, R"(^\x02[0-9]{4}\x03$)", false,
         "\x02"
         "1234\x03",
         true},
        {Expression, R"(^\x02[0-9]{4}\x03$)", false,
         "\x02"
         "12a4\x03",
         false},
        {Expression, R"([\x80-\xFF])", false, "ab\x85", true},
        {Expression, R"([\x80-\xFF])", false, "abc", false},
        {Expression, "a.c", false, "a\nc", true},
        {Expression, R"(\x00)", false, QByteArray("a\0", 2), true},
        {Expression, "", false, "", false},
        {Expression, "ř", true, "\xF8", true}, // typed text becomes bytes; HEX does not apply
    };
    session.setup.macros = {{"ack", "A", false, "1000"}};
    const quint16 port = openudp();
    for (const Case &c : cases) {
        session.setfilters({{c.pattern, c.hex, true, "ack", c.mode}});
        entries.lines.clear();
        peer.writeDatagram(c.block, QHostAddress::LocalHost, port);
        ASSERT_TRUE(waitfor([&] { return !entries.lines.isEmpty(); })) << c.pattern;
        EXPECT_EQ(entries.lines[0].contains("[ack]"), c.answered)
            << int(c.mode) << " " << c.pattern << " on " << c.block.toHex().toStdString();
        if (c.answered) {
            EXPECT_EQ(peerreceives(1).value(0), "A") << c.pattern;
        }
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.join("|").toStdString();
}

TEST_F(SessionTest, ManyExpressionsNameEveryMacroTheirsMatchInOrder) {
    using enum MatchMode;
    session.setup.macros = {{"a", "A", false, "1000"},
                            {"b", "B", false, "1000"},
                            {"c", "C", false, "1000"},
                            {"d", "D", false, "1000"}};
    const quint16 port = openudp();
    // Searched as one, and alone where a back reference must keep its group.
    for (const char *fourth : {"(x)y", R"((x)\1)"}) {
        session.setfilters({{"^(ab|cd)", false, true, "a", Expression},
                            {"z$", false, true, "b", Expression},
                            {"(?i)B[0-9]+", false, true, "c", Expression},
                            {fourth, false, true, "d", Expression}});
        for (const auto &[block, named] : {std::pair<QByteArray, QString>{"ab12z", "[a,b,c]"},
                                           {"xab", "[]"},
                                           {"cdxx", "[a,d]"},
                                           {"xy b7", "[c,d]"}}) {
            entries.lines.clear();
            peer.writeDatagram(block, QHostAddress::LocalHost, port);
            ASSERT_TRUE(waitfor([&] { return !entries.lines.isEmpty(); }));
            const bool xx = QByteArray(fourth).contains('1');
            QString expected = named;
            if (block == "cdxx" && !xx)
                expected = "[a]";
            if (block == "xy b7" && xx)
                expected = "[c]";
            EXPECT_TRUE(entries.lines[0].contains(" " + expected + " "))
                << fourth << " " << entries.lines[0].toStdString();
            if (expected != "[]")
                peerreceives(1);
        }
    }
}

TEST_F(SessionTest, AnExpressionThatDoesNotCompileIsReportedAndTakesNoPart) {
    session.setup.macros = {{"ack", "A", false, "1000"}};
    session.setfilters({{"(", false, true, "ack", MatchMode::Expression},
                        {"", false, true, "ack", MatchMode::Contains}});
    EXPECT_FALSE(session.filterproblem(1).isEmpty());
    EXPECT_TRUE(session.filterproblem(2).isEmpty());
    const quint16 port = openudp();
    peer.writeDatagram("x", QHostAddress::LocalHost, port);
    EXPECT_EQ(peerreceives(1).value(0), "A") << "the other filter still answers";
    EXPECT_TRUE(failures.isEmpty()) << "no error at every block";
}

TEST_F(SessionTest, AnAnswerLeavesBeforeItsBlockIsLoggedAndTheLinesKeepTheirOrder) {
    // Whether the answer had reached the peer when each record was logged.
    struct Watch : LogSink {
        QUdpSocket *peer = nullptr;
        QList<bool> answered;
        void write(const LogEntry &entry) override {
            if (entry.kind == LogEntry::Kind::Record)
                answered << peer->hasPendingDatagrams();
        }
    } watch;
    watch.peer = &peer;
    session.addsink(&watch);
    session.setup.macros = {{"ack", "A", false, "1000"}};
    session.setfilters({{"", false, true, "ack", MatchMode::Contains}});
    const quint16 port = openudp();
    peer.writeDatagram("x", QHostAddress::LocalHost, port);
    ASSERT_TRUE(waitfor([&] { return watch.answered.size() >= 2; }, 1000));
    EXPECT_EQ(watch.answered, (QList<bool>{true, true}));
    EXPECT_EQ(peerreceives(1).value(0), "A");

    // An answer that cannot leave: its error line still follows its records.
    session.setup.tx_port = "abc";
    peer.writeDatagram("y", QHostAddress::LocalHost, port);
    ASSERT_TRUE(waitfor([&] { return entries.lines.size() >= 6; }));
    EXPECT_EQ(entries.lines.mid(3),
              (QStringList{QString("rx 127.0.0.1:%1 [ack] y").arg(peer.localPort()),
                           "tx 127.0.0.1 : abc [] A", "error CHYBA: Nepovedlo se odeslat."}));
    session.removesink(&watch);
}

TEST_F(SessionTest, AnswersToBlocksThatCameTogetherLeaveTogetherAndAFailureKeepsItsPlace) {
    // Too big for a datagram: it fails only when the answers leave.
    session.setup.macros = {{"small", "OK", false, "1000"},
                            {"big", QString(66000, 'B'), false, "1000"}};
    session.setfilters({{"a", false, true, "small", MatchMode::Contains},
                        {"b", false, true, "big", MatchMode::Contains}});
    const quint16 port = openudp();
    for (const char *block : {"a1", "b2", "a3"})
        peer.writeDatagram(block, QHostAddress::LocalHost, port);
    EXPECT_EQ(peerreceives(2), (QList<QByteArray>{"OK", "OK"}));
    const QString from = QString("rx 127.0.0.1:%1 ").arg(peer.localPort());
    const QString to = QString("tx 127.0.0.1 : %1 [] ").arg(peer.localPort());
    ASSERT_EQ(entries.atleast(8).size(), 8);
    EXPECT_EQ(entries.lines.mid(1, 3),
              (QStringList{from + "[small] a1", to + "OK", from + "[big] b2"}));
    EXPECT_EQ(entries.lines.mid(5),
              (QStringList{"error CHYBA: Nepovedlo se odeslat.", from + "[small] a3", to + "OK"}));
}

TEST_F(SessionTest, AFilterThatDoesNotConvertLogsTheBlockAndFailsWhenCompared) {
    session.setfilters({{"$zz", false, true, "none"}});
    const quint16 port = openudp();
    peer.writeDatagram(QByteArray("abc"), QHostAddress::LocalHost, port);
    ASSERT_TRUE(waitfor([&] { return !failures.isEmpty(); }));
    EXPECT_EQ(failures, QStringList{"'$zz' is not a valid integer value"});
    EXPECT_EQ(entries.lines.value(1), QString("rx 127.0.0.1:%1 [] abc").arg(peer.localPort()));
}

TEST_F(SessionTest, ASendUsesTheFirstOpenKindInItsFixedOrder) {
    EXPECT_EQ(session.activelink(), LinkKind::None);
    session.setup.tcp_s_p = "0";
    openudp();
    session.open(LinkKind::Icmp);
    EXPECT_EQ(session.activelink(), LinkKind::Udp);
    session.open(LinkKind::TcpServer);
    EXPECT_EQ(session.activelink(), LinkKind::TcpServer);
    session.close(LinkKind::TcpServer);
    session.close(LinkKind::Udp);
    EXPECT_EQ(session.activelink(), LinkKind::Icmp);
    session.close(LinkKind::Icmp);
    EXPECT_EQ(session.activelink(), LinkKind::None);
    // A connect button closes the other kinds in its own order.
    EXPECT_EQ(std::vector<LinkKind>(kindinfo(LinkKind::Udp).closesfirst.begin(),
                                    kindinfo(LinkKind::Udp).closesfirst.end()),
              (std::vector<LinkKind>{LinkKind::Serial, LinkKind::TcpServer, LinkKind::TcpClient,
                                     LinkKind::Icmp}));
}

TEST_F(SessionTest, SendsThatCannotLeaveWriteTheirErrorLines) {
    session.setup.macros = {{"m", "x", false, "1000"}};
    session.send(1);
    openudp();
    session.setup.tx_port = "abc";
    session.send(1);
    EXPECT_EQ(entries.lines,
              (QStringList{"error CHYBA: Žádné aktivní připojení", "state UDP server připojen",
                           "tx 127.0.0.1 : abc [] x", "error CHYBA: Nepovedlo se odeslat."}));
    // A data text that does not convert fails before anything is logged.
    session.setup.macros[0].data = "$zz";
    EXPECT_THROW(session.send(1), std::exception);
    EXPECT_EQ(entries.lines.size(), 4);
}

TEST_F(SessionTest, TheTcpStreamIsCutIntoBlocksAtPausesOfATick) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    session.setup.connection = static_cast<int>(LinkKind::TcpClient);
    session.setup.tcp_c_a = "127.0.0.1";
    session.setup.tcp_c_p = QString::number(server.serverPort());
    session.open(LinkKind::TcpClient);
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }));
    QTcpSocket *remote = server.nextPendingConnection();
    remote->write("AB");
    remote->flush();
    waitfor([] { return false; }, 20);
    remote->write("C");
    waitfor([] { return false; }, 400);
    remote->write("DE");
    ASSERT_TRUE(waitfor([&] { return entries.lines.size() >= 3; }));
    EXPECT_EQ(entries.lines, (QStringList{"state TCP klient připojen", "rx TCP-IP :500 [] ABC",
                                          "rx TCP-IP :500 [] DE"}));
    remote->close();
    ASSERT_TRUE(
        waitfor([&] { return !session.linkas<TcpClientLink>(LinkKind::TcpClient).isConnected(); }));
    EXPECT_EQ(entries.lines.last(), "state TCP klient odpojen");
}

TEST_F(SessionTest, TheServersCloseComesAfterEveryByteItSentAndSendsAreNotEchoed) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    session.setup.connection = static_cast<int>(LinkKind::TcpClient);
    session.setup.tcp_c_a = "127.0.0.1";
    session.setup.tcp_c_p = QString::number(server.serverPort());
    session.setup.macros = {{"m", "sent", false, ""}};
    session.open(LinkKind::TcpClient);
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }));
    QTcpSocket *remote = server.nextPendingConnection();
    session.send(1);
    ASSERT_TRUE(waitfor([&] { return remote->bytesAvailable() == 4; }));
    EXPECT_TRUE(session.framer(LinkKind::TcpClient)->empty()) << "a send is not received";

    // More than the link takes in one pass, all of it sent just before the close.
    QByteArray data;
    for (int i = 0; i < 300000; ++i)
        data += static_cast<char>('a' + i % 26);
    remote->write(data);
    remote->disconnectFromHost();
    const QString header = "rx TCP-IP :500 [] ";
    const auto received = [&] {
        qsizetype bytes = 0;
        for (const QString &line : entries.lines)
            if (line.startsWith(header))
                bytes += line.size() - header.size();
        return bytes;
    };
    qsizetype arrived = -1;
    QObject::connect(&session, &Session::linkchanged, [&](LinkKind, bool open) {
        if (!open)
            arrived = received() + qsizetype(session.framer(LinkKind::TcpClient)->size());
    });
    ASSERT_TRUE(waitfor([&] { return entries.lines.contains("state TCP klient odpojen"); }));
    EXPECT_EQ(arrived, data.size()) << "every byte had arrived when the close was told";
    ASSERT_TRUE(waitfor([&] { return received() == data.size(); }));
    EXPECT_EQ(entries.lines.mid(2).join("").remove(header).remove("state TCP klient odpojen"),
              QString::fromLatin1(data));
}

TEST_F(SessionTest, ARepeatingMacroSendsAtItsPeriodUntilStopped) {
    session.setup.macros = {{"tick", "t", false, "50"}};
    openudp();
    RepeatTimer *timer = session.repeattimer(1);
    timer->setPeriod(50);
    timer->setEnabled(true);
    EXPECT_GE(peerreceives(3, 3000).size(), 3);
    timer->setEnabled(false);
    peerreceives(100, 200);
    EXPECT_TRUE(peerreceives(1, 300).isEmpty());
}

} // namespace
