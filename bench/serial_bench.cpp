// Serial receive into the logs at full speed: a writer thread floods the
// master side of a pseudo-terminal while the program has the slave open,
// with every log box checked. Reports the bytes and blocks per second that
// reach the receive processing and the GUI thread's longest stall.
//   serial_bench [seconds]   (10 by default)
#include "bench_windows.h"
#include "dialogs.h"
#include "forms.h"
#include "log_view.h"
#include "main_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "serial_link.h"
#include "states_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

long peakkilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    BenchWindows bench(argc, argv);

    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 2;
    const QString device = QString::fromLocal8Bit(name);
    SerialLink::devicetable = [&](int number) { return number == 1 ? device : QString(); };

    bench.start();
    BenchWindows::showlogs();
    BenchWindows::checkeverybox();
    Form1->ComboBox_COM_port->setCurrentIndex(0);
    Form1->Button_RS232_On->click();
    if (!Form1->session.isopen(LinkKind::Serial))
        return 2;

    long long blocks = 0, delivered = 0;
    QObject::connect(&Form1->session.linkas<SerialLink>(LinkKind::Serial), &SerialLink::received,
                     &bench.app, [&](const std::string &bytes, const QString &) {
                         ++blocks;
                         delivered += static_cast<long long>(bytes.size());
                     });

    // The GUI thread's longest stall: the longest gap between ticks of a
    // 5 ms timer.
    QElapsedTimer sincetick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sincetick.restart()); });

    std::atomic<long long> written{0};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        char chunk[4096];
        for (size_t i = 0; i < sizeof chunk; ++i)
            chunk[i] = static_cast<char>(i % 251);
        while (!stop) {
            const ssize_t put = ::write(master, chunk, sizeof chunk);
            if (put > 0)
                written += put;
        }
    });
    // Whatever the program might write back is read and dropped.
    QElapsedTimer clock;
    clock.start();
    sincetick.start();
    ticker.start();
    QTimer::singleShot(seconds * 1000, &bench.app, [&] {
        stop = true;
        ::fcntl(master, F_SETFL, O_NONBLOCK);
    });
    QTimer finish;
    finish.setInterval(20);
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (stop && (delivered >= written || clock.elapsed() > (seconds + 10) * 1000))
            bench.app.quit();
    });
    finish.start();
    bench.app.exec();
    const double elapsed = clock.elapsed() / 1000.0;
    writer.join();

    std::printf("%d s flood: written %lld bytes, delivered %lld bytes (%s)\n", seconds,
                written.load(), delivered, delivered == written ? "no loss" : "LOSS");
    std::printf("receive: %.0f bytes/s, %.0f blocks/s, %.0f bytes per block\n", delivered / elapsed,
                blocks / elapsed, blocks ? double(delivered) / blocks : 0.0);
    std::printf("longest GUI stall: %lld ms; log rows %d; peak memory %ld MB\n", longest,
                Form_RX_TX->RichEdit_mix->displayedRows(), peakkilobytes() / 1024);
    Form1->session.close(LinkKind::Serial);
    ::close(master);
    ::close(slave);
    return bench.silent.errors == 0 && delivered == written ? 0 : 1;
}
