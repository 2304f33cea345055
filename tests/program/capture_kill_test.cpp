// The real executable capturing a steady stream, killed with SIGKILL: the
// capture loses at most the last second, and no line is cut.
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
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
    quint16 port = 0;
    {
        QUdpSocket probe;
        ASSERT_TRUE(probe.bind(QHostAddress::AnyIPv4, 0));
        port = probe.localPort();
    }
    QFile setup(dir.filePath("lab.ini"));
    ASSERT_TRUE(setup.open(QIODevice::WriteOnly));
    setup.write("[Form_main]\nconnection=3\nrx_port=" + QByteArray::number(port) + "\n");
    setup.close();
    QProcess child;
    child.start(KROVAN_EXECUTABLE, {"--headless", setup.fileName(), "--capture", file});
    ASSERT_TRUE(child.waitForStarted(10000));
    // Running once the link's state line is in the file.
    QElapsedTimer clock;
    clock.start();
    while (QFile(file).size() == 0 && clock.elapsed() < 20000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(QFile(file).size(), 0) << child.readAllStandardError().toStdString();

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
