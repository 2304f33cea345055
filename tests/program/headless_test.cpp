// The real executable run without windows: no display, no platform plugin,
// against real peers of every link kind.
#include "pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

#include <csignal>
#include <unistd.h>

namespace {

// A port that was free a moment ago.
quint16 freeport(bool tcp) {
    if (tcp) {
        QTcpServer probe;
        probe.listen(QHostAddress::AnyIPv4, 0);
        return probe.serverPort();
    }
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

class Headless : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess program;
    QByteArray out;

    // A set-up whose macro 1 "ack" answers "<ack>OK" to blocks that begin
    // with <stx>; `main` adds the link's keys to [Form_main].
    QString setup(const QByteArray &main, const QByteArray &macro = "<ack>OK",
                  const QByteArray &interval = "1000") {
        const QString file = dir.filePath("lab.ini");
        QFile ini(file);
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Form_main]\r\n" + main + "\r\n[Form_TX]\r\nTX_framecount=1\r\n"
                  "[Frame_TX_1]\r\ndescribe=ack\r\ndata=" + macro + "\r\ninterval=" + interval +
                  "\r\n[Form_RX_filtr]\r\nfiltr_framecount=1\r\n[Frame_filtr_1]\r\n"
                  "filter=<stx>\r\nmacro=ack\r\nactive=1\r\nhex=0\r\n");
        return file;
    }

    void SetUp() override {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        program.setProcessEnvironment(environment);
        QObject::connect(&program, &QProcess::readyReadStandardOutput,
                         [this] { out += program.readAllStandardOutput(); });
    }

    void run(const QStringList &arguments) {
        program.start(KROVAN_EXECUTABLE, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    // Runs to its end, within the time.
    int finish(int ms = 10000) {
        if (program.state() != QProcess::NotRunning) {
            EXPECT_TRUE(program.waitForFinished(ms)) << "still running";
        }
        out += program.readAllStandardOutput();
        return program.exitCode();
    }
    QString errors() { return QString::fromLocal8Bit(program.readAllStandardError()); }

    // Waits for a capture line of that kind and text field.
    bool captured(const QByteArray &kind, const QByteArray &text) {
        return waitfor([&] {
            for (const QByteArray &line : out.split('\n')) {
                const QList<QByteArray> fields = line.split('\t');
                if (fields.size() == 6 && fields[1] == kind && fields[4] == text)
                    return true;
            }
            return false;
        }, 5000);
    }
    void stop() { ::kill(static_cast<pid_t>(program.processId()), SIGTERM); }
};

TEST_F(Headless, AnswersUdpAndEndsOnSigtermWithStatusZero) {
    const quint16 port = freeport(false);
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    run({"--headless", setup("connection=3\r\nrx_port=" + QByteArray::number(port) +
                             "\r\ntx_adr=127.0.0.1\r\ntx_port=" +
                             QByteArray::number(peer.localPort()))});
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
    ASSERT_TRUE(waitfor([&] {
        peer.abort();
        peer.connectToHost(QHostAddress::LocalHost, port);
        return peer.waitForConnected(200);
    }, 5000)) << errors().toStdString();
    ASSERT_TRUE(captured("STATE", "TCP server připojen..."));
    peer.write("\x02" "abc");
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
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 5000)) << errors().toStdString();
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

TEST_F(Headless, AnswersOnASerialLineAndRepeatsARow) {
    PtyPair line;
    run({"--headless", setup("com_baud=9600", "<ack>", "100"), "--link", "serial", "--port",
         line.path(), "--repeat", "1"});
    ASSERT_TRUE(captured("STATE", "COM0 připojen...")) << errors().toStdString();
    EXPECT_GE(line.receive(3, 3000).count('\x06'), 3) << "repeated every 100 ms";
    line.feed("\x02" "ser");
    EXPECT_TRUE(captured("RX", "<stx>ser"));
    stop();
    EXPECT_EQ(finish(), 0);
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
    run({"--headless", setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" +
                             QByteArray::number(port))});
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

} // namespace
