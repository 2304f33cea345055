// The TCP server link against clients owned by the test on 127.0.0.1:
// well-behaved ones, and ones that reset, flood or never read.
#include "errors.h"
#include "tcp_server_link.h"
#include "wait_for.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A plain client socket, so the test decides exactly how it ends.
class RawClient {
public:
    explicit RawClient(int port, int receivebuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receivebuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receivebuffer, sizeof receivebuffer);
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<uint16_t>(port));
        ::connect(fd_, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    ~RawClient() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // True once the connection is made (the handshake done).
    bool connected() const {
        pollfd p{fd_, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        return ::poll(&p, 1, 0) == 1 &&
               ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    // Ends the connection with a reset instead of an orderly close.
    void reset() {
        linger hard{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(fd_);
        fd_ = -1;
    }
    // Sends what the system takes now; the count taken.
    long send(const char *data, size_t size) { return ::send(fd_, data, size, MSG_NOSIGNAL); }

private:
    int fd_ = -1;
};

class TcpServerLinkTest : public ::testing::Test {
protected:
    TcpServerLink link;
    std::vector<TcpServerLink::ClientId> connects;
    std::vector<TcpServerLink::ClientId> disconnects;
    QByteArray received;
    int port = 0;

    void SetUp() override {
        QObject::connect(&link, &TcpServerLink::clientConnected,
                         [this](TcpServerLink::ClientId id) { connects.push_back(id); });
        QObject::connect(&link, &TcpServerLink::clientDisconnected,
                         [this](TcpServerLink::ClientId id) { disconnects.push_back(id); });
        QObject::connect(&link, &TcpServerLink::received,
                         [this](const std::string &bytes, const QString &) {
                             received += QByteArray::fromStdString(bytes);
                         });
        link.open(0);
        port = link.port();
    }

    std::unique_ptr<QTcpSocket> client() {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        const size_t before = connects.size();
        EXPECT_TRUE(waitfor([&] { return connects.size() > before; }));
        return socket;
    }
};

// Longest time the event loop went without running a 5 ms timer.
class StallMeter {
public:
    StallMeter() {
        clock_.start();
        QObject::connect(&tick_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
        tick_.start(5);
    }
    qint64 longest() const { return longest_; }

private:
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

TEST_F(TcpServerLinkTest, EachClientIsReportedOnceWhenItComesAndWhenItGoes) {
    auto a = client();
    auto b = client();
    ASSERT_EQ(connects.size(), 2u);
    EXPECT_LT(connects[0], connects[1]);
    EXPECT_EQ(link.clientCount(), 2);

    a->write("bye");
    a->disconnectFromHost();
    ASSERT_TRUE(waitfor([&] { return disconnects.size() == 1; }));
    EXPECT_EQ(disconnects[0], connects[0]);
    EXPECT_EQ(received, "bye") << "bytes sent just before the end arrive";
    EXPECT_THROW(link.write(connects[0], "x"), KrovanError);

    // Closing drops the rest, each once, and stops listening.
    auto c = client();
    link.close();
    EXPECT_EQ(disconnects,
              (std::vector<TcpServerLink::ClientId>{connects[0], connects[2], connects[1]}));
    EXPECT_FALSE(link.isListening());
    EXPECT_TRUE(waitfor([&] {
        return b->state() == QAbstractSocket::UnconnectedState &&
               c->state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(disconnects.size(), 3u);
}

TEST_F(TcpServerLinkTest, WritesReachOnlyTheNamedClient) {
    auto a = client();
    auto b = client();
    link.write(connects[1], "to b");
    link.write(connects[1], "");
    EXPECT_TRUE(waitfor([&] { return b->bytesAvailable() >= 4; }));
    EXPECT_EQ(b->readAll(), "to b");
    waitfor([] { return false; }, 50);
    EXPECT_EQ(a->bytesAvailable(), 0);
    EXPECT_THROW(link.write(TcpServerLink::noClient, "x"), KrovanError);
}

TEST_F(TcpServerLinkTest, ATakenPortFailsWithTheBindMessage) {
    TcpServerLink other;
    try {
        other.open(port);
        FAIL() << "opened a port that is listened on";
    } catch (const KrovanError &error) {
        EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(other.isListening());
    EXPECT_TRUE(link.isListening());
    EXPECT_THROW(other.open(70000), KrovanError);
}

// Hostile clients: the server keeps listening, reports each client once,
// loses no byte of the others and keeps the event loop running.

TEST_F(TcpServerLinkTest, TwoHundredClientsThatResetAtOnceLeaveTheOthersUntouched) {
    auto good = client();
    StallMeter stalls;
    std::vector<std::unique_ptr<RawClient>> hostile;
    for (int i = 0; i < 200; ++i)
        hostile.push_back(std::make_unique<RawClient>(port));
    QByteArray expected;
    int sent = 0;
    QElapsedTimer clock;
    clock.start();
    // One piece every 10 ms.
    auto sendmore = [&] {
        if (clock.elapsed() < sent * 10)
            return;
        const QByteArray piece = QByteArray::number(sent++) + ";";
        good->write(piece);
        expected += piece;
    };
    // Let the handshakes complete (some are queued behind the backlog).
    waitfor(
        [&] {
            sendmore();
            return std::all_of(hostile.begin(), hostile.end(),
                               [](const auto &raw) { return raw->connected(); });
        },
        2500);
    for (auto &raw : hostile)
        raw->reset();
    waitfor(
        [&] {
            sendmore();
            return false;
        },
        200);
    ASSERT_TRUE(waitfor([&] { return link.clientCount() == 1 && received == expected; }))
        << link.clientCount() << " clients, " << received.size() << " of " << expected.size();
    // Connections reset while still queued by the system come out a little later.
    waitfor([] { return false; }, 300);
    EXPECT_EQ(link.clientCount(), 1);
    // Handshakes the system completed past a full backlog and then saw reset
    // never reach the program; those that did each come and go once.
    EXPECT_GT(connects.size(), 16u);
    EXPECT_LE(connects.size(), 201u);
    EXPECT_EQ(disconnects.size(), connects.size() - 1) << "one end for every client but good";
    EXPECT_TRUE(link.isListening());
    EXPECT_LT(stalls.longest(), 100);

    auto late = client();
    link.write(connects.back(), "still here");
    EXPECT_TRUE(waitfor([&] { return late->bytesAvailable() == 10; }));
}

TEST_F(TcpServerLinkTest, AFloodDoesNotHoldBackAnotherClientNorTheEventLoop) {
    auto good = client();
    RawClient flood(port);
    ASSERT_TRUE(waitfor([&] { return connects.size() == 2; }));
    // The test's own copy of the flood must not stall the loop it measures:
    // growing it past 32 MB copies it whole.
    received.reserve(40 * 1024 * 1024);
    StallMeter stalls;
    const std::vector<char> block(64 * 1024, 'F');
    qint64 flooded = 0;
    QByteArray expected;
    QElapsedTimer clock;
    clock.start();
    int count = 0;
    // About 1.5 s of flood, with a small message of the good client every 10 ms.
    waitfor(
        [&] {
            for (int i = 0; i < 8 && flooded < 32 * 1024 * 1024; ++i) {
                const long n = flood.send(block.data(), block.size());
                if (n > 0)
                    flooded += n;
            }
            if (clock.elapsed() >= count * 10) {
                const QByteArray piece = "<" + QByteArray::number(count++) + ">";
                good->write(piece);
                expected += piece;
            }
            return false;
        },
        1500);
    ASSERT_TRUE(waitfor([&] { return received.size() == flooded + expected.size(); }))
        << received.size() << " of " << flooded + expected.size();
    QByteArray others = received;
    others.replace('F', QByteArray());
    EXPECT_EQ(others, expected) << "the good client's bytes, whole and in order";
    EXPECT_GT(flooded, 8 * 1024 * 1024) << "not much of a flood";
    EXPECT_LT(stalls.longest(), 100);
    EXPECT_TRUE(link.isListening());
}

TEST_F(TcpServerLinkTest, AClientThatNeverReadsFailsItsWriteInTimeAndOnlyItself) {
    RawClient sleeper(port, 4096);
    ASSERT_TRUE(waitfor([&] { return connects.size() == 1; }));
    const TcpServerLink::ClientId id = connects[0];
    const std::string chunk(1 << 20, 'x');
    QElapsedTimer clock;
    bool failed = false;
    qint64 failedafter = 0;
    for (int i = 0; i < 64 && !failed; ++i) {
        clock.start();
        try {
            link.write(id, chunk, 300);
        } catch (const KrovanError &error) {
            EXPECT_STREQ(error.what(), "Write timed out.");
            failed = true;
            failedafter = clock.elapsed();
        }
    }
    ASSERT_TRUE(failed) << "64 MB accepted by a client that reads nothing";
    EXPECT_GE(failedafter, 290);
    EXPECT_LT(failedafter, 1000);
    // Nothing is piled onto the unsent rest: the next write fails in its time too.
    clock.start();
    EXPECT_THROW(link.write(id, chunk, 300), KrovanError);
    EXPECT_LT(clock.elapsed(), 1000);

    auto other = client();
    other->write("fine");
    EXPECT_TRUE(waitfor([&] { return received == "fine"; }));
    link.write(connects.back(), "ok");
    EXPECT_TRUE(waitfor([&] { return other->bytesAvailable() == 2; }));
    EXPECT_EQ(link.clientCount(), 2);
}

} // namespace
