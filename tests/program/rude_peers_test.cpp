// The executable without windows against peers that flood, close at once,
// never read, or a disk that fills: no byte is lost or left unread, no wait
// freezes the run, and every capture line is whole.
#include "headless_fixture.h"
#include "raw_listener.h"

#include <QDateTime>
#include <QDir>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace {

// The capture's lines of one kind: their times and text fields.
struct Captured {
    QList<qint64> times;
    QList<QByteArray> texts;
};

Captured lines(const QByteArray &capture, const QByteArray &kind) {
    Captured found;
    for (const QByteArray &line : capture.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 6 || fields[1] != kind)
            continue;
        found.times << QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs)
                           .toMSecsSinceEpoch();
        found.texts << fields[4];
    }
    return found;
}

QByteArray readfile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The last bytes of a file that may be large.
QByteArray tail(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    file.seek(std::max<qint64>(0, file.size() - 256));
    return file.readAll();
}

using RudePeers = Headless;

TEST_F(RudePeers, ABurstWhoseBlocksAreAnsweredLeavesTheClientListening) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    // Every block is answered: the filter's empty text begins every block.
    run({"--headless", setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" +
                                 QByteArray::number(server.serverPort()),
                             "<ack>OK", "1000", "")});
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 5000))
        << errors().toStdString();
    QTcpSocket *peer = server.nextPendingConnection();
    const QByteArray burst((2 << 20) + 1000, 'A');
    peer->write(burst);
    QByteArray answers;
    const auto collect = [&] { answers += peer->readAll(); };
    for (int i = 0; i < 3; ++i) {
        waitfor(
            [&] {
                collect();
                return false;
            },
            400);
        peer->write("PING" + QByteArray::number(i));
    }
    ASSERT_TRUE(waitfor(
        [&] {
            collect();
            return out.contains("\tRX\tTCP-IP :500\tack\tPING2\t");
        },
        5000))
        << "the client went deaf after the burst";
    waitfor(
        [&] {
            collect();
            return false;
        },
        300);
    stop();
    EXPECT_EQ(finish(), 0);

    const Captured received = lines(out, "RX");
    EXPECT_EQ(received.texts.join(), burst + "PING0PING1PING2") << "every byte once, in order";
    EXPECT_EQ(received.texts.mid(received.texts.size() - 3),
              (QList<QByteArray>{"PING0", "PING1", "PING2"}));
    EXPECT_EQ(lines(out, "TX").texts.size(), received.texts.size()) << "each block answered";
    EXPECT_EQ(answers.count("\x06OK"), received.texts.size());
}

TEST_F(RudePeers, BytesSentJustBeforeTheServerClosesAreLoggedAndAnswered) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    run({"--headless", setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" +
                             QByteArray::number(server.serverPort()))});
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }, 5000))
        << errors().toStdString();
    QTcpSocket *peer = server.nextPendingConnection();
    ASSERT_TRUE(captured("STATE", "TCP klient připojen"));
    peer->write("\x02hello");
    peer->flush();
    peer->disconnectFromHost();
    EXPECT_EQ(finish(), 1);
    EXPECT_EQ(lines(out, "RX").texts, QList<QByteArray>{"<stx>hello"});
    // The server is gone, so the answer finds no link.
    EXPECT_EQ(lines(out, "TX").texts, QList<QByteArray>{});
    EXPECT_TRUE(out.contains("\tERROR\t\t\tCHYBA: Žádné aktivní připojení\t\n"));
}

TEST_F(RudePeers, APeerThatNeverReadsHoldsTheRunOnceAndLaterSendsFailAtOnce) {
    // Its connections complete in the system's queue; nobody reads them.
    RawListener deaf(4);
    const QString capture = dir.filePath("cap.tsv");
    run({"--headless",
         setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" + QByteArray::number(deaf.port()),
               QByteArray(64 * 1024, 'A'), "10"),
         "--repeat", "1", "--duration", "9", "--capture", capture});
    EXPECT_EQ(finish(20000), 0) << errors().toStdString();
    const QByteArray text = readfile(capture);
    const Captured failed = lines(text, "ERROR");
    ASSERT_FALSE(failed.times.isEmpty());
    EXPECT_GE(failed.texts.count("CHYBA: Nepovedlo se odeslat."), 100)
        << "each stuck send waited again";
    // The one wait: at most 5 s past the first send the peer did not take.
    const Captured sent = lines(text, "TX");
    EXPECT_LE(failed.times.first() - sent.times.first(), 8000);
    // After it, no entry waits for another: the run never stalls again.
    QList<qint64> times;
    for (const QByteArray &line : text.split('\n'))
        if (const QList<QByteArray> fields = line.split('\t'); fields.size() == 6)
            times << QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs)
                         .toMSecsSinceEpoch();
    qint64 longest = 0;
    for (qsizetype i = times.indexOf(failed.times.first()) + 1; i < times.size() - 2; ++i)
        longest = std::max(longest, times[i] - times[i - 1]);
    EXPECT_LT(longest, 1000) << "a stall after the first time-out";
}

TEST_F(RudePeers, AFloodIsCapturedWholeWhileTheDiskKeepsUp) {
    const quint16 port = freeport(true);
    const QString capture = dir.filePath("flood.tsv");
    run({"--headless", setup("tcp_s_p=" + QByteArray::number(port)), "--link", "tcp-server",
         "--capture", capture});
    // Letters and digits only: the capture's text field is the bytes.
    const QByteArray alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QByteArray chunk;
    while (chunk.size() < 62 * 4096)
        chunk += alphabet;
    const qint64 total = qint64{200} << 20;
    // As fast as the link takes it, from a thread of its own, once the
    // program listens.
    bool sentall = false;
    std::thread sender([&] {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        int fd = -1;
        for (int tries = 0; fd < 0 && tries < 100; ++tries) {
            fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
                ::close(fd);
                fd = -1;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        if (fd >= 0) {
            qint64 sent = 0;
            while (sent < total) {
                const qint64 size = std::min<qint64>(chunk.size(), total - sent);
                const ssize_t put = ::send(fd, chunk.constData(), static_cast<size_t>(size), 0);
                if (put <= 0)
                    break;
                sent += put;
                // The next chunk starts where the alphabet left off.
                if (put != size)
                    break;
            }
            sentall = sent == total;
        }
        ::close(fd);
    });
    sender.join();
    ASSERT_TRUE(sentall) << errors().toStdString();
    // The client's end is logged after every byte it sent (within minutes:
    // a sanitized build on a busy machine captures slowly).
    ASSERT_TRUE(
        waitfor([&] { return tail(capture).endsWith("TCP server odpojen...\t\n"); }, 300000));
    stop();
    EXPECT_EQ(finish(), 0);

    QFile file(capture);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    qint64 at = 0;
    bool inorder = true;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().split('\t');
        ASSERT_EQ(fields.size(), 6);
        EXPECT_FALSE(fields[4].contains("left out")) << fields[4].toStdString();
        if (fields[1] != "RX")
            continue;
        for (char byte : fields[4])
            inorder = inorder && byte == alphabet[at++ % alphabet.size()];
    }
    EXPECT_EQ(at, total) << "bytes captured";
    EXPECT_TRUE(inorder);
}

TEST_F(RudePeers, ACaptureOnADiskThatFillsEndsInAWholeLine) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs in a namespace of its own needs root";
    const quint16 port = freeport(false);
    const QString mountpoint = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(mountpoint));
    const QString copy = dir.filePath("copy.tsv");
    // The tmpfs lives in the namespace only: its capture is copied out.
    const QString script = "mount -t tmpfs -o size=64k tmpfs \"$1\" || exit 99\n"
                           "\"$2\" --headless \"$3\" --capture \"$1/cap.tsv\"\n"
                           "status=$?\ncp \"$1/cap.tsv\" \"$4\"\nexit $status\n";
    program.start("unshare", {"--mount", "--propagation", "private", "sh", "-c", script, "sh",
                              mountpoint, KROVAN_EXECUTABLE,
                              setup("connection=3\r\nrx_port=" + QByteArray::number(port)), copy});
    ASSERT_TRUE(program.waitForStarted(10000));
    QUdpSocket peer;
    const QByteArray datagram(1000, 'd');
    waitfor(
        [&] {
            peer.writeDatagram(datagram, QHostAddress::LocalHost, port);
            return program.state() == QProcess::NotRunning;
        },
        10000);
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(errors().contains("No space left on device"));
    const QByteArray text = readfile(copy);
    EXPECT_GT(text.size(), 32 * 1024) << "the disk filled";
    EXPECT_TRUE(text.endsWith('\n')) << "a line cut off at its end";
    for (const QByteArray &line : text.split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_EQ(line.count('\t'), 5) << line.left(80).toStdString();
        }
    }
}

} // namespace
