#include "pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

PtyPair::PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    if (master_ >= 0)
        ::close(master_);
    ::close(slave_);
}

void PtyPair::drain() {
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0)
            return;
        received_.append(buffer, got);
    }
}

bool PtyPair::feed(const QByteArray &data, int ms) {
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < data.size() && clock.elapsed() < ms) {
        const ssize_t put = ::write(master_, data.constData() + done,
                                    static_cast<size_t>(qMin<qsizetype>(data.size() - done, 4096)));
        if (put > 0)
            done += put;
        drain();
        if (put <= 0 && errno != EAGAIN && errno != EINTR)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done == data.size();
}

QByteArray PtyPair::receive(qsizetype size, int ms) {
    QElapsedTimer clock;
    clock.start();
    drain();
    while (received_.size() < size && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        drain();
    }
    return received_;
}

void PtyPair::hangup() {
    ::close(master_);
    master_ = -1;
}
