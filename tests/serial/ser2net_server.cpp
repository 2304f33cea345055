#include "ser2net_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

quint16 freeport() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

Ser2net::Ser2net(const QString &device, Accepter accepter)
    : device_(device), accepter_(accepter), port_(freeport()) {
    QFile config(dir_.filePath("ser2net.yaml"));
    config.open(QIODevice::WriteOnly);
    const QString kind = accepter_ == Accepter::Rfc2217 ? "telnet(rfc2217),tcp" : "tcp";
    config.write(QString("connection: &port\n"
                         "  accepter: %1,127.0.0.1,%2\n"
                         "  connector: serialdev,%3,9600n81,local\n"
                         "  options:\n"
                         "    kickolduser: true\n")
                     .arg(kind)
                     .arg(port_)
                     .arg(device_)
                     .toUtf8());
}

Ser2net::~Ser2net() {
    stop();
}

bool Ser2net::start() {
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start("ser2net", {"-n", "-u", "-c", dir_.filePath("ser2net.yaml"), "-P",
                               dir_.filePath("ser2net.pid")});
    if (!process_.waitForStarted(3000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(200)) {
            probe.abort();
            // The probe's connection is ended on the server's side too.
            QThread::msleep(50);
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

void Ser2net::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}
