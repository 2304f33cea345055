// The TCP client link against a server of the test on 127.0.0.1.
#include "errors.h"
#include "tcp_client_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

namespace {

TEST(TcpClientLinkTest, BytesGoBothWaysInOrderAndTheServersCloseComesLast) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    TcpClientLink link;
    QByteArray got;
    bool closedafterbytes = false;
    QObject::connect(
        &link, &TcpClientLink::received,
        [&](const std::string &data, const QString &) { got += QByteArray::fromStdString(data); });
    bool closed = false;
    QObject::connect(&link, &TcpClientLink::closed, [&](bool bypeer) {
        closed = bypeer;
        closedafterbytes = got.size() == 300000;
    });
    link.open("127.0.0.1", server.serverPort());
    ASSERT_TRUE(link.isConnected());
    ASSERT_TRUE(waitfor([&] { return server.hasPendingConnections(); }));
    QTcpSocket *remote = server.nextPendingConnection();

    link.send(std::string("A\0B", 3));
    ASSERT_TRUE(waitfor([&] { return remote->bytesAvailable() >= 3; }));
    EXPECT_EQ(remote->readAll(), QByteArray("A\0B", 3));

    QByteArray stream;
    for (int i = 0; stream.size() < 300000; ++i)
        stream += char('a' + i % 26);
    remote->write(stream);
    remote->disconnectFromHost();
    ASSERT_TRUE(waitfor([&] { return closed; }, 5000));
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(got, stream);
    EXPECT_TRUE(closedafterbytes) << "every byte before the close";
    EXPECT_THROW(link.send("x"), KrovanError);
}

TEST(TcpClientLinkTest, ARefusedConnectionFailsWithItsReason) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    TcpClientLink link;
    try {
        link.open("127.0.0.1", port);
        FAIL() << "connected to a closed port";
    } catch (const KrovanError &e) {
        EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(link.isConnected());
    EXPECT_THROW(link.open("127.0.0.1", 70000), KrovanError);
}

} // namespace
