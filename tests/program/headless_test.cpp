// The real executable run without windows: no display, no platform plugin,
// against real peers of every link kind.
#include "headless_fixture.h"
#include "pty_pair.h"
#include "ser2net_server.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpSocket>

namespace {

TEST_F(Headless, AnswersUdpAndEndsOnSigtermWithStatusZero) {
    const quint16 port = freeport(false);
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    run({"--headless",
         setup("connection=3\r\nrx_port=" + QByteArray::number(port) +
               "\r\ntx_adr=127.0.0.1\r\ntx_port=" + QByteArray::number(peer.localPort()))});
    ASSERT_TRUE(captured("STATE", "UDP server připojen")) << errors().toStdString();
    // Only a block the file's filter names is answered.
    peer.writeDatagram("no", QHostAddress::LocalHost, port);
    ASSERT_TRUE(captured("RX", "no"));
    peer.writeDatagram("\x02hi", QHostAddress::LocalHost, port);
    ASSERT_TRUE(waitfor([&] { return peer.hasPendingDatagrams(); }, 5000));
    EXPECT_EQ(peer.receiveDatagram().data(), "\x06OK");
    EXPECT_FALSE(waitfor([&] { return peer.hasPendingDatagrams(); }, 200)) << "one answer";
    EXPECT_TRUE(captured("RX", "<stx>hi"));
    EXPECT_TRUE(captured("TX", "<ack>OK"));
    stop();
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(out.contains("\tSTATE\t\t\tUDP server odpojen\t\n")) << "closed in order";
}

TEST_F(Headless, AnswersAsATcpServerAndSendsWhatItIsAskedTo) {
    const quint16 port = freeport(true);
    run({"--headless", setup("tcp_s_p=" + QByteArray::number(port)), "--link", "tcp-server",
         "--duration", "3"});
    QTcpSocket peer;
    ASSERT_TRUE(waitfor(
        [&] {
            peer.abort();
            peer.connectToHost(QHostAddress::LocalHost, port);
            return peer.waitForConnected(200);
        },
        5000))
        << errors().toStdString();
    ASSERT_TRUE(captured("STATE", "TCP server připojen..."));
    peer.write("\x02"
               "abc");
    ASSERT_TRUE(waitfor([&] { return peer.bytesAvailable() >= 3; }, 5000));
    EXPECT_EQ(peer.readAll(), "\x06OK");
    EXPECT_TRUE(captured("RX", "<stx>abc"));
    EXPECT_EQ(finish(), 0) << "--duration ends it";
}

TEST_F(Headless, ATcpClientEndsWithStatusOneWhenTheServerCloses) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    run({"--headless",
         setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" +
               QByteArray::number(server.serverPort())),
         "--send", "1", "--capture", dir.filePath("cap.tsv")});
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 5000))
        << errors().toStdString();
    QTcpSocket *peer = server.nextPendingConnection();
    ASSERT_TRUE(waitfor([&] { return peer->bytesAvailable() >= 3; }, 5000));
    EXPECT_EQ(peer->readAll(), "\x06OK") << "--send 1";
    peer->write("\x02x");
    ASSERT_TRUE(waitfor([&] { return peer->bytesAvailable() >= 3; }, 5000));
    peer->close();
    EXPECT_EQ(finish(), 1);
    QFile capture(dir.filePath("cap.tsv"));
    ASSERT_TRUE(capture.open(QIODevice::ReadOnly));
    const QByteArray lines = capture.readAll();
    EXPECT_TRUE(lines.contains("\tRX\tTCP-IP :500\tack\t<stx>x\t02 78\n")) << lines.toStdString();
    EXPECT_TRUE(lines.endsWith("\tSTATE\t\t\tTCP klient odpojen\t\n"));
    EXPECT_TRUE(out.isEmpty()) << "the capture went to the file";
}

// How many capture lines of that kind and text there are by now.
int capturecount(const QByteArray &out, const QByteArray &kind, const QByteArray &text) {
    int count = 0;
    for (const QByteArray &line : out.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        count += fields.size() == 6 && fields[1] == kind && fields[4] == text;
    }
    return count;
}

TEST_F(Headless, ValuesOfReceivedBlocksGoToACsvFileAsTheyArrive) {
    const quint16 port = freeport(false);
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    const QString values = dir.filePath("values.csv");
    run({"--headless", setup("connection=3\r\nrx_port=" + QByteArray::number(port)), "--values",
         values});
    ASSERT_TRUE(captured("STATE", "UDP server připojen")) << errors().toStdString();
    peer.writeDatagram("t=21.5 h: 40", QHostAddress::LocalHost, port);
    ASSERT_TRUE(captured("RX", "t=21.5 h: 40"));
    peer.writeDatagram("1,-2.5e1", QHostAddress::LocalHost, port);
    ASSERT_TRUE(captured("RX", "1,-2.5e1"));
    // Read while the run goes on: written within a second.
    QProcess reader;
    const auto rows = [&] {
        reader.start("/usr/bin/python3",
                     {"-c",
                      "import csv, sys\nfor row in csv.reader(open(sys.argv[1])):\n"
                      "    print('|'.join(row))",
                      values});
        reader.waitForFinished(5000);
        return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    ASSERT_TRUE(waitfor([&] { return rows().size() == 5; }, 2000))
        << rows().join("\n").toStdString();
    const QStringList got = rows();
    EXPECT_EQ(got[0], "time|series|value");
    QStringList series;
    for (const QString &row : got.mid(1))
        series << row.section('|', 1);
    EXPECT_EQ(series, (QStringList{"t|21.5", "h|40", "1|1", "2|-25"}));
    // Each point at its entry's own time, as the capture writes it.
    QString entrytime;
    for (const QByteArray &line : out.split('\n'))
        if (line.contains("\tRX\t") && line.contains("t=21.5"))
            entrytime = QString::fromUtf8(line.split('\t')[0]);
    EXPECT_EQ(got[1].section('|', 0, 0), entrytime);
    stop();
    EXPECT_EQ(finish(), 0);
}

TEST_F(Headless, WithReconnectATcpClientWaitsForItsServerAndGoesOn) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    run({"--headless",
         setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" + QByteArray::number(port)),
         "--reconnect"});
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 5000))
        << errors().toStdString();
    QTcpSocket *peer = server.nextPendingConnection();
    server.close();
    peer->close();
    ASSERT_TRUE(captured("STATE", "TCP klient čeká na server..."));
    waitfor([] { return false; }, 1500);
    EXPECT_EQ(program.state(), QProcess::Running);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 5000));
    peer = server.nextPendingConnection();
    peer->write("\x02y");
    ASSERT_TRUE(waitfor([&] { return peer->bytesAvailable() >= 3; }, 5000));
    EXPECT_EQ(peer->readAll(), "\x06OK");
    EXPECT_EQ(capturecount(out, "STATE", "TCP klient připojen"), 2);
    stop();
    EXPECT_EQ(finish(), 0);
}

TEST_F(Headless, WithReconnectASerialRunWaitsForItsDeviceBeforeAndAfterIt) {
    const QString link = dir.filePath("ttyBoard");
    const auto plug = [&](const PtyPair &pair) {
        ASSERT_EQ(::symlink(pair.path().toLocal8Bit().constData(), link.toLocal8Bit().constData()),
                  0);
    };
    run({"--headless", setup("com_baud=9600", "<ack>"), "--link", "serial", "--port", link,
         "--reconnect"});
    const QByteArray name = link.toLocal8Bit();
    ASSERT_TRUE(captured("STATE", name + " čeká na zařízení...")) << errors().toStdString();
    for (int round = 1; round <= 2; ++round) {
        PtyPair line;
        plug(line);
        ASSERT_TRUE(waitfor(
            [&] { return capturecount(out, "STATE", name + " připojen...") == round; }, 5000));
        line.feed("\x02ser");
        EXPECT_EQ(line.receive(1, 3000), "\x06");
        QFile::remove(link);
        line.hangup();
        ASSERT_TRUE(waitfor(
            [&] { return capturecount(out, "STATE", name + " čeká na zařízení...") == round + 1; },
            5000));
    }
    EXPECT_EQ(program.state(), QProcess::Running);
    stop();
    EXPECT_EQ(finish(), 0);
}

TEST_F(Headless, AnswersOnASerialLineAndRepeatsARow) {
    PtyPair line;
    run({"--headless", setup("com_baud=9600", "<ack>", "100"), "--link", "serial", "--port",
         line.path(), "--repeat", "1"});
    ASSERT_TRUE(captured("STATE", line.path().toLocal8Bit() + " připojen..."))
        << errors().toStdString();
    EXPECT_GE(line.receive(3, 3000).count('\x06'), 3) << "repeated every 100 ms";
    line.feed("\x02"
              "ser");
    EXPECT_TRUE(captured("RX", "<stx>ser"));
    stop();
    EXPECT_EQ(finish(), 0);
}

TEST_F(Headless, AnswersOnANetworkSerialPortNamedByItsAddress) {
    PtyPair line;
    Ser2net server(line.path());
    ASSERT_TRUE(server.start());
    run({"--headless", setup("com_baud=38400", "<ack>$ff"), "--link", "serial", "--port",
         server.name()});
    const QByteArray name = server.name().toLatin1();
    ASSERT_TRUE(captured("STATE", name + " připojen...")) << errors().toStdString();
    EXPECT_EQ(linesettings(line.slavefd()).speed, 38400u);
    line.feed("\x02\xff");
    EXPECT_EQ(line.receive(2, 3000), "\x06\xff");
    EXPECT_TRUE(waitfor([&] { return out.contains("\tRX\t" + name + "\t"); })) << out.toStdString();
    server.stop();
    EXPECT_EQ(finish(), 1) << "the device went away";
    EXPECT_TRUE(captured("STATE", name + " odpojen..."));
}

TEST_F(Headless, EchoesToTheLoopbackAndLogsTheReply) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "ICMP echo needs root here";
    run({"--headless", setup("connection=4\r\nicmp_a=127.0.0.1", "ping"), "--send", "1",
         "--duration", "2"});
    ASSERT_TRUE(captured("TX", "ping")) << errors().toStdString();
    // The echo carries 32 bytes: the macro's, then the padding.
    EXPECT_TRUE(captured("RX", "ping" + QByteArray(28, 'E')));
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(out.contains("\tRX\tICMP 127.0.0.1 - 32bajtů\t")) << out.toStdString();
}

TEST_F(Headless, AFailedOpenGivesOneAndBadUsageGivesTwo) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    run({"--headless", setup("connection=3\r\nrx_port=" + QByteArray::number(holder.localPort()))});
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(errors().contains("Address and port are already in use")) << errors().toStdString();

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    run({"--headless",
         setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" + QByteArray::number(port))});
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(errors().contains("refused")) << errors().toStdString();

    run({"--headless", dir.filePath("missing.ini")});
    EXPECT_EQ(finish(), 2);
    EXPECT_TRUE(errors().contains("missing.ini")) << errors().toStdString();

    run({"--headless", setup("connection=3"), "--frobnicate"});
    EXPECT_EQ(finish(), 2);
    const QString message = errors();
    EXPECT_TRUE(message.contains("--frobnicate")) << message.toStdString();
    EXPECT_TRUE(message.contains("Usage:")) << "the help's text on a bad option";

    run({"--version"});
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(out.startsWith("krovan 0.6"));
    EXPECT_TRUE(QFile::exists(dir.filePath("lab.ini")));
}

TEST_F(Headless, DurationsRunAsLongAsAskedAndOthersAreBadOptions) {
    const QString file = setup("connection=3\r\nrx_port=" + QByteArray::number(freeport(false)));
    for (const char *bad : {"nan", "inf", "-inf", "-1", "1e400", "soon", ""}) {
        run({"--headless", file, "--duration", bad});
        EXPECT_EQ(finish(), 2) << bad;
        EXPECT_TRUE(errors().contains("Usage:")) << bad;
    }
    // Past what one timer holds (24.8 days): the run goes on.
    for (const char *long_ : {"2147484", "31536000", "1e10"}) {
        run({"--headless", file, "--duration", long_});
        EXPECT_FALSE(program.waitForFinished(1000)) << long_ << " ended at once";
        stop();
        EXPECT_EQ(finish(), 0) << long_;
        EXPECT_FALSE(errors().contains("Timer")) << long_;
    }
    QElapsedTimer clock;
    clock.start();
    run({"--headless", file, "--duration", "0.5"});
    EXPECT_EQ(finish(), 0);
    EXPECT_GE(clock.elapsed(), 500);
}

TEST_F(Headless, ARepeatRunEndsWithoutASendOnTheClosedLink) {
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    const QString file =
        setup("connection=3\r\nrx_port=" + QByteArray::number(freeport(false)) +
                  "\r\ntx_adr=127.0.0.1\r\ntx_port=" + QByteArray::number(peer.localPort()),
              "tick", "1");
    for (int i = 0; i < 6; ++i) {
        out.clear();
        run({"--headless", file, "--repeat", "1", "--duration", "0.3"});
        EXPECT_EQ(finish(), 0);
        EXPECT_TRUE(out.contains("\tTX\t127.0.0.1 : ")) << "it repeated";
        EXPECT_FALSE(out.contains("ERROR")) << out.right(300).toStdString();
        EXPECT_TRUE(out.endsWith("\tSTATE\t\t\tUDP server odpojen\t\n"));
    }
}

} // namespace
