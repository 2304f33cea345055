// Many TCP clients feeding the server through the real windows with every
// log box checked: 100 clients each send 1 KB every 10 ms for 10 s (both
// can be given: tcp_server_bench [clients] [seconds]). Reports the bytes
// delivered, the rate, the number of blocks and the GUI thread's longest
// stall, while receiving and while the last block is processed.
#include "bench_windows.h"
#include "dialogs.h"
#include "forms.h"
#include "main_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The clients, all in one thread of their own: every period each sends one
// piece, blocking until the system has taken it.
void clients(int port, int count, int seconds, std::atomic<long long> &sent,
             std::atomic<bool> &done) {
    std::vector<int> fds;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
            std::perror("connect");
            std::exit(2);
        }
        fds.push_back(fd);
    }
    std::vector<char> piece(1024);
    for (size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>(' ' + i % 90);
    const auto period = std::chrono::milliseconds(10);
    const int rounds = seconds * 100;
    const auto start = Clock::now();
    for (int round = 0; round < rounds; ++round) {
        std::this_thread::sleep_until(start + round * period);
        for (int fd : fds) {
            size_t off = 0;
            while (off < piece.size()) {
                const long n = ::send(fd, piece.data() + off, piece.size() - off, MSG_NOSIGNAL);
                if (n <= 0) {
                    std::perror("send");
                    std::exit(2);
                }
                off += static_cast<size_t>(n);
            }
            sent += static_cast<long long>(piece.size());
        }
    }
    for (int fd : fds)
        ::close(fd);
    done = true;
}

} // namespace

int main(int argc, char **argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    BenchWindows bench(argc, argv);
    bench.start();
    BenchWindows::showlogs();
    BenchWindows::checkeverybox();

    Form1->ComboBox_pripojeni->setCurrentIndex(2);
    Form1->ComboBox_pripojeniChange();
    Form1->Edit_TCP_S_port->setText("0");
    Form1->connectclicked(LinkKind::TcpServer);
    const int port = Form1->session.linkas<TcpServerLink>(LinkKind::TcpServer).port();

    // Bytes the link delivered to the stream buffer, and the blocks the
    // tick handed on (seen right after each tick).
    long long arrived = 0, handed = 0, blocks = 0;
    QObject::connect(&Form1->session.linkas<TcpServerLink>(LinkKind::TcpServer),
                     &TcpServerLink::received,
                     [&](const std::string &bytes, const QString &) { arrived += bytes.size(); });
    qint64 lastblockms = 0;
    StreamFramer &framer = *Form1->session.framer(LinkKind::TcpServer);
    QObject::connect(&framer.timer(), &QTimer::timeout, [&] {
        if (framer.empty() && arrived > handed) {
            ++blocks;
            handed = arrived;
        }
    });

    // The stall: the longest gap between two runs of a 5 ms timer.
    QElapsedTimer gap, run;
    gap.start();
    run.start();
    qint64 receivestall = 0, laterstall = 0;
    std::atomic<long long> sent{0};
    std::atomic<bool> done{false};
    qint64 receivedms = 0;
    QTimer meter;
    QObject::connect(&meter, &QTimer::timeout, [&] {
        const qint64 stall = gap.restart();
        if (!done)
            receivestall = std::max(receivestall, stall);
        else
            laterstall = std::max(laterstall, stall);
        if (done && receivedms == 0 && arrived == sent)
            receivedms = run.elapsed();
        if (receivedms != 0 && handed == arrived) {
            lastblockms = run.elapsed();
            bench.app.quit();
        }
        if (run.elapsed() > (seconds + 120) * 1000LL) {
            std::fprintf(stderr, "gave up waiting\n");
            bench.app.quit();
        }
    });
    meter.start(5);

    std::thread feeder(clients, port, count, seconds, std::ref(sent), std::ref(done));
    bench.app.exec();
    feeder.join();

    const double mb = static_cast<double>(arrived) / 1e6;
    std::printf("%d clients x 1 KB every 10 ms for %d s, every log box checked\n", count, seconds);
    std::printf("bytes sent %lld, delivered %lld (%s), %.1f MB in %.2f s = %.2f MB/s\n",
                sent.load(), arrived, arrived == sent ? "all" : "LOST", mb, receivedms / 1000.0,
                mb / (receivedms / 1000.0));
    std::printf("blocks %lld, last block processed %.2f s after the start\n", blocks,
                lastblockms / 1000.0);
    std::printf("longest GUI stall: %lld ms while receiving, %lld ms afterwards (the blocks' "
                "processing and logging)\n",
                static_cast<long long>(receivestall), static_cast<long long>(laterstall));
    Form1->session.close(LinkKind::TcpServer);
    return bench.silent.errors == 0 && arrived == sent ? 0 : 1;
}
