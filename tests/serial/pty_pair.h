#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair made by the test: the program opens the slave
// device as its serial port, the test is the peer on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // The device the program opens.
    const QString &path() const { return path_; }
    int slavefd() const { return slave_; }

    // Writes all of `data` to the line and collects what the program
    // writes back, running the event loop meanwhile; false when the time
    // is up first.
    bool feed(const QByteArray &data, int ms = 5000);
    // Collects what the program writes until `size` bytes are there or the
    // time is up; returns everything collected so far.
    QByteArray receive(qsizetype size, int ms = 2000);
    // Hangs the line up, as an unplugged adapter does.
    void hangup();

private:
    void drain();

    int master_ = -1;
    int slave_ = -1;
    QString path_;
    QByteArray received_;
};

// The line settings of a terminal device as the system holds them.
struct LineSettings {
    unsigned speed = 0; // output speed in baud, custom speeds included
    int databits = 0;
    bool parity = false;
    bool twostopbits = false;
    bool hardwareflow = false;
    bool softwareflow = false;
};
LineSettings linesettings(int fd);
