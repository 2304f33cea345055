#include "close_on_signal.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalpipe[2] = {-1, -1};

// Only async-signal-safe calls here: the GUI thread does the rest.
void onsignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalpipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void closeonsignals(QWidget *window)
{
    if (signalpipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalpipe) != 0)
            return;
        // A flood of signals must never block the handler.
        ::fcntl(signalpipe[1], F_SETFL, O_NONBLOCK);
        ::fcntl(signalpipe[0], F_SETFL, O_NONBLOCK);
    }
    auto *notifier = new QSocketNotifier(signalpipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window,
                     [target = QPointer<QWidget>(window)] {
                         char bytes[64];
                         while (::read(signalpipe[0], bytes, sizeof bytes) > 0) {
                         }
                         if (target)
                             target->close();
                     });
    struct sigaction action = {};
    action.sa_handler = onsignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
