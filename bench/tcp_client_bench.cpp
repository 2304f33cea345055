// Sustained TCP receive through the real windows with every log box
// checked: a peer on 127.0.0.1 sends 10 MB in 1 KB writes and pauses 150 ms
// after every 100 KB. Reports the rate into the receive processing, the
// blocks the gap framing cut, how long after its last byte each block was
// handed on, and the GUI thread's longest stall.
#include "bench_windows.h"
#include "dialogs.h"
#include "forms.h"
#include "guard.h"
#include "main_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t writeSize = 1024;
constexpr size_t groupSize = 100 * 1024;
constexpr size_t totalSize = 10 * 1024 * 1024;
// The pause after every group; `tcp_client_bench 250` tries another one.
std::chrono::milliseconds groupPause{150};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The server: a plain socket in its own thread, so that the program's event
// loop runs undisturbed on the main thread.
class Peer {
public:
    Peer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr *>(&local), sizeof local);
        ::listen(listener_, 1);
        socklen_t length = sizeof local;
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~Peer() {
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }

    void run() {
        thread_ = std::thread([this] {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return;
            const int fd = ::accept(listener_, nullptr, nullptr);
            std::vector<char> chunk(writeSize);
            for (size_t sent = 0; sent < totalSize;) {
                for (size_t i = 0; i < writeSize; ++i)
                    chunk[i] = static_cast<char>('A' + (sent + i) % 26);
                const ssize_t n = ::send(fd, chunk.data(), writeSize, 0);
                if (n != static_cast<ssize_t>(writeSize))
                    break;
                sent += writeSize;
                if (sent % groupSize == 0) {
                    {
                        std::lock_guard lock(mutex_);
                        lastbytes_.push_back(Clock::now());
                    }
                    std::this_thread::sleep_for(groupPause);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            ::close(fd);
        });
    }
    std::vector<Clock::time_point> lastbytes() {
        std::lock_guard lock(mutex_);
        return lastbytes_;
    }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Clock::time_point> lastbytes_;
};

struct Block {
    Clock::time_point handed;
    size_t size;
    double processms;
};

} // namespace

int main(int argc, char **argv) {
    if (argc > 1)
        groupPause = std::chrono::milliseconds(std::atoi(argv[1]));
    BenchWindows bench(argc, argv);
    bench.start();
    BenchWindows::showlogs();
    BenchWindows::checkeverybox();

    // The tick as the program runs it, timed from outside.
    std::vector<Block> blocks;
    size_t handedbytes = 0;
    StreamFramer &framer = *Form1->session.framer(LinkKind::TcpClient);
    QObject::disconnect(&framer.timer(), &QTimer::timeout, &framer, nullptr);
    QObject::connect(&framer.timer(), &QTimer::timeout, Form1, [&] {
        const size_t before = framer.size();
        const auto start = Clock::now();
        guarded([&] { framer.tick(); });
        if (framer.size() < before) {
            const size_t size = before - framer.size();
            blocks.push_back({start, size, ms(Clock::now() - start)});
            handedbytes += size;
        }
    });

    // The GUI thread's stalls: gaps between the beats of a 5 ms timer.
    double longeststall = 0;
    auto lastbeat = Clock::now();
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longeststall = std::max(longeststall, ms(now - lastbeat) - 5.0);
        lastbeat = now;
    });

    Peer peer;
    peer.run();
    Form1->ComboBox_pripojeni->setCurrentIndex(1);
    Form1->ComboBox_pripojeniChange();
    Form1->Edit_tcp_k_addr->setText("127.0.0.1");
    Form1->Edit_tcp_k_port->setText(QString::number(peer.port()));
    Form1->connectclicked(LinkKind::TcpClient);
    if (!Form1->session.isopen(LinkKind::TcpClient)) {
        std::fprintf(stderr, "not connected\n");
        return 1;
    }
    const auto started = Clock::now();
    lastbeat = started;
    beat.start();

    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (handedbytes >= totalSize || Clock::now() - started > std::chrono::seconds(90))
            bench.app.quit();
    });
    watch.start();
    bench.app.exec();
    beat.stop();
    const auto finished = blocks.empty() ? Clock::now() : blocks.back().handed;

    const std::vector<Clock::time_point> lastbytes = peer.lastbytes();
    std::vector<double> delays;
    double processms = 0;
    // A block's delay counts from the last byte of the group it ends with:
    // groups that a pause shorter than two ticks did not part are one block.
    size_t end = 0;
    for (const Block &block : blocks) {
        processms += block.processms;
        end += block.size;
        const size_t group = end / groupSize;
        if (end % groupSize == 0 && group >= 1 && group <= lastbytes.size())
            delays.push_back(ms(block.handed - lastbytes[group - 1]));
    }
    std::vector<double> sorted = delays;
    std::sort(sorted.begin(), sorted.end());
    const double mb = static_cast<double>(handedbytes) / 1e6;
    std::printf(
        "%lld ms pauses: handed on %.2f MB in %zu blocks (100 groups sent), every block %s100 KB\n",
        static_cast<long long>(groupPause.count()), mb, blocks.size(),
        std::all_of(blocks.begin(), blocks.end(),
                    [](const Block &b) { return b.size == groupSize; })
            ? ""
            : "NOT ");
    std::printf("into rxprocess: %.1f MB/s of processing time (%.0f ms in all), "
                "%.2f MB/s end to end over %.1f s with the pauses\n",
                mb / (processms / 1000.0), processms, mb, ms(finished - started) / 1000.0);
    if (!sorted.empty())
        std::printf("handed on after the last byte: min %.0f ms, median %.0f ms, max %.0f ms "
                    "(limit 200 ms)\n",
                    sorted.front(), sorted[sorted.size() / 2], sorted.back());
    std::printf("longest GUI stall: %.1f ms\n", longeststall);

    Form1->session.close(LinkKind::TcpClient);
    return bench.silent.errors == 0 && blocks.size() == 100 ? 0 : 1;
}
