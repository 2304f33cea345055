// A capture killed with SIGKILL while a steady stream comes in: it loses
// at most the last second, and no line is cut.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

TEST(CaptureKill, AKilledCaptureLosesAtMostTheLastSecondAndCutsNoLine) {
    QTemporaryDir dir;
    const QString file = dir.filePath("capture.tsv");
    QProcess child;
    child.start(CAPTURE_CHILD, {file});
    ASSERT_TRUE(child.waitForStarted(10000));
    ASSERT_TRUE(child.waitForReadyRead(20000)) << child.readAllStandardError().toStdString();
    const quint16 port = static_cast<quint16>(child.readLine().trimmed().toInt());
    ASSERT_GT(port, 0);

    QUdpSocket peer;
    // Two seconds of a datagram every 5 ms, then the kill in the midst of it.
    for (int i = 0; i < 400; ++i) {
        peer.writeDatagram("n=" + QByteArray::number(i), QHostAddress::LocalHost, port);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const qint64 killed = QDateTime::currentMSecsSinceEpoch();
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(5000));

    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray content = in.readAll();
    ASSERT_FALSE(content.isEmpty());
    EXPECT_TRUE(content.endsWith('\n')) << "the last line is whole";
    int next = 0;
    qint64 last = 0;
    for (const QByteArray &line : content.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        ASSERT_EQ(fields.size(), 6) << line.toStdString();
        last = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs)
                   .toMSecsSinceEpoch();
        if (fields[1] == "RX") {
            EXPECT_EQ(fields[4], "n=" + QByteArray::number(next)) << "no entry lost between";
            ++next;
        }
    }
    EXPECT_GT(next, 0);
    EXPECT_GE(last, killed - 1000) << "entries of more than the last second were lost";
}
