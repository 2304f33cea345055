#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's ser2net in front of a device, started by the test on 127.0.0.1
// with a configuration of its own: a Telnet accepter with the COM-PORT
// option (rfc2217), or plain TCP (raw) to compare with.
class Ser2net {
public:
    enum class Accepter { Rfc2217, Raw };
    Ser2net(const QString &device, Accepter accepter = Accepter::Rfc2217);
    ~Ser2net();
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts it on the port (the same again after a stop); false when it
    // does not take connections within 3 s.
    bool start();
    void stop();
    quint16 port() const { return port_; }
    // The port's name as the program takes it.
    QString name() const { return QString("rfc2217://127.0.0.1:%1").arg(port_); }

private:
    QTemporaryDir dir_;
    QString device_;
    Accepter accepter_;
    quint16 port_ = 0;
    QProcess process_;
};

// A TCP port on 127.0.0.1 that nothing listens on now.
quint16 freeport();
