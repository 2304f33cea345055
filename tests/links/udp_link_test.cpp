#include "errors.h"
#include "udp_link.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTimer>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

namespace {

// A peer socket owned by the test on 127.0.0.1, and the link under test
// bound to a free local port.
class UdpLinkTest : public ::testing::Test {
protected:
    QUdpSocket peer;
    UdpLink link;
    int localport = 0;

    void SetUp() override {
        ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
        link.open(0);
        localport = link.localPort();
    }

    void sendtolink(const QByteArray &data) {
        peer.writeDatagram(data, QHostAddress::LocalHost, static_cast<quint16>(localport));
    }

    QNetworkDatagram peerreceive() {
        if (!peer.hasPendingDatagrams())
            peer.waitForReadyRead(2000);
        return peer.receiveDatagram();
    }
};

TEST_F(UdpLinkTest, DeliversEachDatagramWithItsSender) {
    QSignalSpy received(&link, &UdpLink::received);
    sendtolink("abc");
    sendtolink(QByteArray());
    sendtolink(QByteArray("\0\xff", 2));
    for (int i = 0; i < 50 && received.count() < 3; ++i)
        received.wait(100);
    ASSERT_EQ(received.count(), 3);
    EXPECT_EQ(received[0][0].value<std::string>(), "abc");
    EXPECT_EQ(received[0][1].toString(), "127.0.0.1:" + QString::number(peer.localPort()));
    EXPECT_EQ(received[1][0].value<std::string>(), "");
    EXPECT_EQ(received[2][0].value<std::string>(), std::string("\0\xff", 2));
}

TEST_F(UdpLinkTest, DeliversAQueueOfManyInOrderUntilTheHandlerCloses) {
    // Queued before the event loop looks: several batches' worth, of
    // different lengths, from two senders.
    QUdpSocket second;
    ASSERT_TRUE(second.bind(QHostAddress::LocalHost, 0));
    for (int i = 0; i < 100; ++i)
        (i % 2 ? second : peer)
            .writeDatagram(QByteArray::number(i).repeated(i % 7 + 1), QHostAddress::LocalHost,
                           static_cast<quint16>(localport));
    std::vector<std::pair<std::string, QString>> got;
    QObject::connect(&link, &UdpLink::received, &link,
                     [&](const std::string &data, const QString &from) {
                         got.emplace_back(data, from);
                         if (got.size() == 70)
                             link.close();
                     });
    // By the clock: a pass that ran out of its share goes on after a timer,
    // and asking the loop for events returns at once until that fires.
    waitfor([&] { return got.size() >= 70; });
    waitfor([] { return false; }, 50);
    ASSERT_EQ(got.size(), 70u) << "nothing is delivered once the handler closed the link";
    for (int i = 0; i < 70; ++i) {
        EXPECT_EQ(got[i].first, QByteArray::number(i).repeated(i % 7 + 1).toStdString());
        EXPECT_EQ(got[i].second,
                  "127.0.0.1:" + QString::number(i % 2 ? second.localPort() : peer.localPort()));
    }
}

TEST_F(UdpLinkTest, AHandlerThatWaitsInAnEventLoopOfItsOwnMissesNothing) {
    // As an error box does: the first datagram's handler runs an event loop
    // while the rest of its batch, and more sent meanwhile, wait.
    for (int i = 0; i < 5; ++i)
        sendtolink(QByteArray::number(i));
    std::vector<std::string> got;
    QObject::connect(&link, &UdpLink::received, &link,
                     [&](const std::string &data, const QString &) {
                         got.push_back(data);
                         if (got.size() > 1)
                             return;
                         for (int i = 5; i < 10; ++i)
                             sendtolink(QByteArray::number(i));
                         QEventLoop box;
                         QTimer::singleShot(200, &box, &QEventLoop::quit);
                         box.exec();
                     });
    waitfor([&] { return got.size() >= 10; });
    waitfor([] { return false; }, 50);
    EXPECT_EQ(got, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

TEST_F(UdpLinkTest, DiscardsDatagramsBeyondTheReceiveBuffer) {
    QSignalSpy received(&link, &UdpLink::received);
    sendtolink(QByteArray(2049, 'x'));
    sendtolink(QByteArray(2048, 'y'));
    for (int i = 0; i < 50 && received.count() < 1; ++i)
        received.wait(100);
    received.wait(100);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received[0][0].value<std::string>(), std::string(2048, 'y'));
}

TEST_F(UdpLinkTest, EachSendGoesWhereItsHostTextSaysNow) {
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress("127.0.0.2"), peer.localPort()));
    for (const char *host : {"127.0.0.1", "127.0.0.2", "127.0.0.2", "127.0.0.1"})
        link.send(host, host, peer.localPort());
    QStringList first, second;
    for (int i = 0; i < 50 && first.size() + second.size() < 4; ++i) {
        peer.waitForReadyRead(20);
        while (peer.hasPendingDatagrams())
            first << QString(peer.receiveDatagram().data());
        while (other.hasPendingDatagrams())
            second << QString(other.receiveDatagram().data());
    }
    EXPECT_EQ(first, (QStringList{"127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(second, (QStringList{"127.0.0.2", "127.0.0.2"}));
}

TEST_F(UdpLinkTest, SendsOneDatagramFromTheLocalPort) {
    link.send(std::string("A\0B", 3), "127.0.0.1", peer.localPort());
    const QNetworkDatagram got = peerreceive();
    EXPECT_EQ(got.data(), QByteArray("A\0B", 3));
    EXPECT_EQ(got.senderPort(), localport);

    link.send("", "localhost", peer.localPort());
    const QNetworkDatagram empty = peerreceive();
    EXPECT_TRUE(empty.isValid());
    EXPECT_EQ(empty.data().size(), 0);
}

TEST_F(UdpLinkTest, SendsToABroadcastAddress) {
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress::AnyIPv4, 0));
    link.send("all", "127.255.255.255", listener.localPort());
    if (!listener.hasPendingDatagrams())
        listener.waitForReadyRead(2000);
    EXPECT_EQ(listener.receiveDatagram().data(), "all");
}

TEST_F(UdpLinkTest, SendFailuresThrow) {
    EXPECT_THROW(link.send("x", "127.0.0.1", 70000), KrovanError);
    EXPECT_THROW(link.send("x", "no such host.invalid", peer.localPort()), KrovanError);
    try {
        link.send(std::string(70000, 'x'), "127.0.0.1", peer.localPort());
        FAIL() << "an oversized datagram was sent";
    } catch (const KrovanError &e) {
        EXPECT_STREQ(e.what(), "Package Size Too Big.");
    }
}

TEST_F(UdpLinkTest, ATakenPortCannotBeBound) {
    UdpLink second;
    try {
        second.open(localport);
        FAIL() << "the port was bound twice";
    } catch (const KrovanError &e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(second.isActive());
    EXPECT_TRUE(link.isActive());
    link.close();
    EXPECT_FALSE(link.isActive());
    second.open(localport);
    EXPECT_TRUE(second.isActive());
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
