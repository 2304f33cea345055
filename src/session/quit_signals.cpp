#include "quit_signals.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler only writes a byte; everything else happens on the GUI thread.
int signalpipe[2] = {-1, -1};

void notegui(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalpipe[0], &byte, 1);
}

} // namespace

void closeonsignals(QObject *owner, std::function<void()> onsignal) {
    if (signalpipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalpipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalpipe[1], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [onsignal] {
        char bytes[16];
        [[maybe_unused]] const ssize_t got = ::read(signalpipe[1], bytes, sizeof bytes);
        onsignal();
    });
    struct sigaction action = {};
    action.sa_handler = notegui;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
