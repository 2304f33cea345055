// The network serial port against Debian's ser2net in front of a
// pseudo-terminal of the test, and against servers of the test's own that
// refuse or never answer, all on 127.0.0.1.
#include "errors.h"
#include "pty_pair.h"
#include "rfc2217_link.h"
#include "ser2net_server.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

namespace {

class NetworkPort : public ::testing::Test {
protected:
    PtyPair pty;
    Ser2net server{pty.path()};
    Rfc2217Link link;
    QByteArray got;

    void SetUp() override {
        ASSERT_TRUE(server.start()) << "ser2net did not start";
        QObject::connect(&link, &Link::received, [this](const std::string &data, const QString &) {
            got += QByteArray::fromStdString(data);
        });
    }

    void openat(qint32 baud) {
        link.setsettings({0, server.name(), baud, 8});
        link.open();
    }

    static QByteArray random(qsizetype size, quint32 seed) {
        QByteArray bytes(size, '\0');
        QRandomGenerator generator(seed);
        for (char &byte : bytes)
            byte = static_cast<char>(generator.bounded(256));
        return bytes;
    }
};

TEST_F(NetworkPort, TheServerTakesTheSettingsAndEveryByteGoesBothWaysUnchanged) {
    QElapsedTimer clock;
    clock.start();
    openat(19200);
    EXPECT_LT(clock.elapsed(), 500) << "ser2net acknowledges the rate at once";
    ASSERT_TRUE(link.isOpen());
    EXPECT_TRUE(link.comportaccepted());
    EXPECT_TRUE(link.rateacknowledged());
    const LineSettings line = linesettings(pty.slavefd());
    EXPECT_EQ(line.speed, 19200u) << "the rate the device side sees";
    EXPECT_EQ(line.databits, 8);
    EXPECT_FALSE(line.parity);
    EXPECT_FALSE(line.twostopbits);

    // 1 MiB of every byte value, 0xFF included, from the device...
    const QByteArray fromdevice = random(1 << 20, 1);
    ASSERT_TRUE(pty.feed(fromdevice, 20000));
    ASSERT_TRUE(waitfor([&] { return got.size() >= fromdevice.size(); }, 20000)) << got.size();
    EXPECT_TRUE(got == fromdevice) << "in order, byte for byte";

    // ...and to it, in sends of 4 KiB while the device reads.
    const QByteArray todevice = random(1 << 20, 2);
    for (qsizetype at = 0; at < todevice.size(); at += 4096) {
        link.send(todevice.mid(at, 4096).toStdString());
        pty.receive(0, 0);
    }
    const QByteArray arrived = pty.receive(todevice.size(), 20000);
    EXPECT_EQ(arrived.size(), todevice.size());
    EXPECT_TRUE(arrived == todevice);
}

TEST_F(NetworkPort, AServerThatEndsIsADeviceThatWentAwayAndComesBack) {
    link.setreconnect(true);
    openat(9600);
    ASSERT_TRUE(link.isOpen());
    QList<bool> closes;
    QObject::connect(&link, &Link::closed, [&](bool bypeer) { closes << bypeer; });
    server.stop();
    ASSERT_TRUE(waitfor([&] { return link.waiting(); }));
    EXPECT_EQ(closes, QList<bool>{true});

    ASSERT_TRUE(server.start());
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitfor([&] { return link.isOpen(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1000) << "back within a second of the server";
    pty.feed("again");
    EXPECT_TRUE(waitfor([&] { return got == "again"; }));

    // Without reconnection the end is final.
    link.setreconnect(false);
    server.stop();
    ASSERT_TRUE(waitfor([&] { return !link.isOpen(); }));
    EXPECT_FALSE(link.waiting());
    EXPECT_EQ(closes, (QList<bool>{true, true}));
}

TEST(NetworkPortOpen, ARefusedOrMalformedPortFailsAtOnceWithItsReason) {
    Rfc2217Link link;
    link.setsettings({0, QString("rfc2217://127.0.0.1:%1").arg(freeport()), 9600, 8});
    QElapsedTimer clock;
    clock.start();
    try {
        link.open();
        ADD_FAILURE() << "opened";
    } catch (const KrovanError &error) {
        EXPECT_STREQ(error.what(), "Connection refused");
    }
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(link.isOpen());

    for (const char *name : {"rfc2217://lab", "rfc2217://:4001", "rfc2217://lab:0",
                             "rfc2217://lab:65536", "rfc2217://a b:1", "rfc2217://x:y:1"}) {
        link.setsettings({0, name, 9600, 8});
        EXPECT_THROW(link.open(), KrovanError) << name;
    }
    EXPECT_TRUE(networkport("rfc2217://[::1]:4001"));
    EXPECT_EQ(networkport("RFC2217://lab.example:4001")->host, "lab.example");
}

TEST(NetworkPortOpen, AServerThatNeverAnswersHoldsTheOpenUpASecondAndTheDataFlow) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    Rfc2217Link link;
    QByteArray got;
    QObject::connect(&link, &Link::received, [&](const std::string &data, const QString &from) {
        got += QByteArray::fromStdString(data);
        EXPECT_EQ(from, link.name());
    });
    link.setsettings({0, QString("rfc2217://127.0.0.1:%1").arg(silent.serverPort()), 9600, 8});
    QElapsedTimer clock;
    clock.start();
    link.open();
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 1300);
    ASSERT_TRUE(link.isOpen());
    EXPECT_FALSE(link.comportaccepted());

    ASSERT_TRUE(waitfor([&] { return silent.hasPendingConnections(); }));
    QTcpSocket *peer = silent.nextPendingConnection();
    link.send("A\xff"
              "B");
    peer->write("x\xff\xff\xff\xf1y"); // a doubled 0xFF and a NOP
    QByteArray heard;
    ASSERT_TRUE(waitfor([&] {
        heard += peer->readAll();
        return heard.endsWith("B") && got == "x\xffy";
    }));
    // The offer: WILL BINARY, SUPPRESS-GO-AHEAD, COM-PORT; DO BINARY,
    // SUPPRESS-GO-AHEAD; then the data with 0xFF doubled.
    EXPECT_EQ(heard, QByteArray("\xff\xfb\x00\xff\xfb\x03\xff\xfb\x2c\xff\xfd\x00\xff\xfd\x03"
                                "A\xff\xff"
                                "B",
                                19));
}

} // namespace
