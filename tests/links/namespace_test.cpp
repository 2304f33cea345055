// The network links over IPv6, names of both families, multicast groups and
// broadcasts, in a network namespace the test run makes (in_namespace.sh),
// against Qt's own sockets as peers.
#include "errors.h"
#include "icmp_link.h"
#include "tcp_client_link.h"
#include "tcp_server_link.h"
#include "udp_link.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

namespace {

struct Heard {
    QByteArray data;
    QString from;
};

Heard listen(Link &link) {
    Heard heard;
    QObject::connect(&link, &Link::received,
                     [&heard](const std::string &data, const QString &from) {
                         heard.data += QByteArray::fromStdString(data);
                         heard.from = from;
                     });
    return heard;
}

QNetworkDatagram next(QUdpSocket &socket) {
    waitfor([&] { return socket.hasPendingDatagrams(); });
    return socket.receiveDatagram();
}

// Whether the system lists the group (its address in the file's hex) as
// joined: /proc/net/igmp for IPv4, /proc/net/igmp6 for IPv6.
bool joined(const char *file, const QByteArray &hex) {
    QFile list(file);
    return list.open(QIODevice::ReadOnly) && list.readAll().toLower().contains(hex);
}

TEST(Ipv6, TcpBothWaysOverTheLoopbackWithIpv6PeersInBrackets) {
    TcpServerLink server;
    QString from;
    QObject::connect(&server, &Link::received,
                     [&](const std::string &, const QString &peer) { from = peer; });
    server.open(0);
    QTcpSocket six, four;
    six.connectToHost(QHostAddress::LocalHostIPv6, server.port());
    four.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(six.waitForConnected(1000) && four.waitForConnected(1000));
    six.write("6");
    ASSERT_TRUE(waitfor([&] { return from.startsWith("[::1]:"); })) << from.toStdString();
    EXPECT_EQ(from, "[::1]:" + QString::number(six.localPort()));
    four.write("4");
    ASSERT_TRUE(waitfor([&] { return from.startsWith("127.0.0.1:"); })) << from.toStdString();

    // The client: an IPv6 literal, and a name of both families whose server
    // listens on one family only.
    for (const QHostAddress &family : {QHostAddress::LocalHostIPv6, QHostAddress::LocalHost}) {
        QTcpServer peer;
        ASSERT_TRUE(peer.listen(family, 0));
        for (const char *host :
             {"both.test", family == QHostAddress::LocalHost ? "127.0.0.1" : "::1"}) {
            TcpClientLink client;
            client.open(host, peer.serverPort());
            EXPECT_TRUE(client.isConnected()) << host;
            ASSERT_TRUE(waitfor([&] { return peer.hasPendingConnections(); }));
            delete peer.nextPendingConnection();
        }
    }
}

TEST(Ipv6, UdpSendersOfEitherFamilyAndIpv6Destinations) {
    UdpLink link;
    Heard heard = listen(link);
    link.open(0);
    QUdpSocket six, four;
    ASSERT_TRUE(six.bind(QHostAddress::LocalHostIPv6, 0));
    ASSERT_TRUE(four.bind(QHostAddress::LocalHost, 0));
    six.writeDatagram("6", QHostAddress::LocalHostIPv6, link.localPort());
    ASSERT_TRUE(waitfor([&] { return heard.data == "6"; }));
    EXPECT_EQ(heard.from, "[::1]:" + QString::number(six.localPort()));
    four.writeDatagram("4", QHostAddress::LocalHost, link.localPort());
    ASSERT_TRUE(waitfor([&] { return heard.data == "64"; }));
    EXPECT_EQ(heard.from, "127.0.0.1:" + QString::number(four.localPort())) << "as before";

    link.send("to six", "::1", six.localPort());
    EXPECT_EQ(next(six).data(), "to six");
    link.send("to four", "127.0.0.1", four.localPort());
    EXPECT_EQ(next(four).data(), "to four");

    // Broadcasts: the subnet's and the limited one.
    QUdpSocket all;
    ASSERT_TRUE(all.bind(QHostAddress::AnyIPv4, 0));
    link.send("subnet", "10.9.0.255", all.localPort());
    EXPECT_EQ(next(all).data(), "subnet");
    link.send("limited", "255.255.255.255", all.localPort());
    EXPECT_EQ(next(all).data(), "limited");
}

TEST(Multicast, AnIpv4GroupIsJoinedAnsweredAndLeft) {
    QUdpSocket member;
    ASSERT_TRUE(member.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::ShareAddress));
    ASSERT_TRUE(member.joinMulticastGroup(QHostAddress("239.7.8.9")));
    UdpLink link;
    Heard heard = listen(link);
    link.settings = {0, "239.7.8.9", member.localPort()};
    link.open();
    EXPECT_TRUE(joined("/proc/net/igmp", "090807ef"));
    link.send("hello group");
    const QNetworkDatagram datagram = next(member);
    EXPECT_EQ(datagram.data(), "hello group") << "looped back to this machine";
    EXPECT_EQ(datagram.hopLimit(), 1) << "one hop unless set";

    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::AnyIPv4, 0));
    other.writeDatagram("to the group", QHostAddress("239.7.8.9"), link.localPort());
    ASSERT_TRUE(waitfor([&] { return heard.data == "to the group"; }));
    EXPECT_TRUE(heard.from.endsWith(":" + QString::number(other.localPort())))
        << heard.from.toStdString();
    EXPECT_FALSE(heard.from.startsWith("[")) << "an IPv4 sender";

    member.leaveMulticastGroup(QHostAddress("239.7.8.9"));
    link.close();
    EXPECT_FALSE(joined("/proc/net/igmp", "090807ef")) << "left at the close";

    link.settings.host = "239.7.8.9%nosuchif";
    EXPECT_THROW(link.open(), KrovanError);
    EXPECT_FALSE(link.isActive());
}

TEST(Multicast, AnIpv6GroupOnAnInterfaceIsJoinedAnsweredAndLeft) {
    const QNetworkInterface veth = QNetworkInterface::interfaceFromName("kv0");
    ASSERT_TRUE(veth.isValid());
    const QHostAddress group("ff02::4242");
    QUdpSocket member;
    ASSERT_TRUE(member.bind(QHostAddress::AnyIPv6, 0, QUdpSocket::ShareAddress));
    ASSERT_TRUE(member.joinMulticastGroup(group, veth));
    UdpLink link;
    Heard heard = listen(link);
    link.settings = {0, "ff02::4242%kv0", member.localPort(), 3};
    link.open();
    EXPECT_TRUE(joined("/proc/net/igmp6", "ff020000000000000000000000004242"));
    link.send("hello six");
    const QNetworkDatagram datagram = next(member);
    EXPECT_EQ(datagram.data(), "hello six");
    EXPECT_EQ(datagram.hopLimit(), 3);

    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::AnyIPv6, 0));
    other.setMulticastInterface(veth);
    other.writeDatagram("to the group", group, link.localPort());
    ASSERT_TRUE(waitfor([&] { return heard.data == "to the group"; }));
    EXPECT_TRUE(heard.from.startsWith("[fe80::")) << heard.from.toStdString();
    EXPECT_TRUE(heard.from.contains("%kv0]:")) << heard.from.toStdString();

    link.close();
    member.close();
    EXPECT_FALSE(joined("/proc/net/igmp6", "ff020000000000000000000000004242"));
}

TEST(Ipv6, AnIpv6HostIsPingedWithIcmpv6) {
    IcmpLink link;
    Heard heard = listen(link);
    int hops = 0;
    link.onreply = [&](const icmp::Reply &reply) { hops = reply.ttl; };
    link.open();
    link.host = "::1";
    link.send("ABC");
    EXPECT_EQ(heard.data, "ABC" + QByteArray(29, 'E'));
    EXPECT_EQ(heard.from, "ICMP ::1 - 32bajtů");
    EXPECT_EQ(link.sequence, 3490);
    EXPECT_EQ(hops, 64) << "the reply's hop limit, not the request's 128";

    // A host of neither family that answers: the IPv4 echo as before.
    link.host = "127.0.0.1";
    link.send("v4");
    EXPECT_EQ(heard.from, "ICMP 127.0.0.1 - 32bajtů");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
