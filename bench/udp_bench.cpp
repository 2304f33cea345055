// Round trip, burst and sustained figures of the whole receive-filter-reply
// loop over UDP on 127.0.0.1, through the real windows with every log box
// checked and the logs already holding 100 000 lines.
//   udp_bench [FILTERS [regex]]  FILTERS active filters of which only the
//                                last matches (default 1); with "regex",
//                                all of them regular expressions
#include "bench_windows.h"
#include "dialogs.h"
#include "filter_list_window.h"
#include "filter_row.h"
#include "forms.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "main_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The peer: a plain socket on 127.0.0.1 in its own thread, so that the
// program's event loop runs undisturbed on the main thread.
class Peer {
public:
    Peer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int big = 8 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr *>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~Peer() { ::close(fd_); }

    int port() const { return port_; }
    void target(int port) {
        target_.sin_family = AF_INET;
        target_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target_.sin_port = htons(static_cast<uint16_t>(port));
    }

    void send(const char *data, size_t size) {
        ::sendto(fd_, data, size, 0, reinterpret_cast<sockaddr *>(&target_), sizeof target_);
    }

    // Waits up to the time-out for one reply; false on time-out.
    bool receive(int timeoutms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutms) <= 0)
            return false;
        char buffer[9000];
        return ::recv(fd_, buffer, sizeof buffer, 0) >= 0;
    }

    int drain() {
        int count = 0;
        char buffer[9000];
        while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0)
            ++count;
        return count;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    sockaddr_in target_{};
};

const char request[] = "\x02"
                       "request 0123456789";

void roundtrips(Peer &peer, int count) {
    std::vector<double> micros;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        peer.send(request, sizeof request - 1);
        if (!peer.receive(1000)) {
            ++lost;
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    const auto at = [&](double q) { return quantile(micros, q); };
    std::printf("round trip over %d requests: p50 %.1f us, p90 %.1f us, p99 %.1f us, max %.1f us, "
                "lost %d\n",
                count, at(0.5), at(0.9), at(0.99), at(1), lost);
}

// Sends `rate` datagrams a second for `seconds`, paced evenly, and counts
// the answers that come back.
int burst(Peer &peer, int rate, int seconds) {
    const int total = rate * seconds;
    const auto period = std::chrono::nanoseconds(1'000'000'000LL / rate);
    const auto start = Clock::now();
    int answered = 0;
    for (int i = 0; i < total; ++i) {
        std::this_thread::sleep_until(start + i * period);
        peer.send(request, sizeof request - 1);
        answered += peer.drain();
    }
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (answered < total && Clock::now() < deadline)
        if (peer.receive(100))
            answered += 1 + peer.drain();
    return answered;
}

// Answers a second with `inflight` requests always under way.
double sustained(Peer &peer, int inflight, int seconds) {
    for (int i = 0; i < inflight; ++i)
        peer.send(request, sizeof request - 1);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    long answered = 0;
    while (Clock::now() < end) {
        if (!peer.receive(1000))
            break;
        const int got = 1 + peer.drain();
        answered += got;
        for (int i = 0; i < got; ++i)
            peer.send(request, sizeof request - 1);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    while (peer.receive(200))
        peer.drain();
    return answered / elapsed;
}

// Opens UDP on a port the system chooses and returns it.
int prepare(int peerport, int filters, bool regex) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    for (int i = 0; i < 100000; ++i)
        Form_RX_TX->addstate("filler line " + QString::number(i));
    BenchWindows::checkeverybox();

    TFrame_tx *macro = Form_TX->tx_frames[1];
    macro->Edit_popis->setText("ack");
    macro->Edit_data->setText("<ack>reply");
    for (int n = 1; n < filters; ++n)
        Form_RX_filtr->Button_filtr_new->click();
    for (int n = 1; n <= filters; ++n) {
        TFrame_filtr *filter = Form_RX_filtr->filtr_frames[n];
        if (regex) {
            filter->ComboBox_filtr_mode->setCurrentIndex(static_cast<int>(MatchMode::Expression));
            filter->Edit_filtr->setText(n == filters ? R"(\x02req)"
                                                     : R"(\x03no )" + QString::number(n) + "$");
        } else {
            filter->Edit_filtr->setText(n == filters ? "<stx>" : "<etx>no " + QString::number(n));
        }
        filter->ComboBox_filtr_macro->setEditText("ack");
        filter->CheckBox_filtr_active->setChecked(true);
    }

    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->ComboBox_pripojeniChange();
    Form1->Edit_rx_port->setText("0");
    Form1->Edit_tx_adr->setText("127.0.0.1");
    Form1->Edit_tx_port->setText(QString::number(peerport));
    Form1->connectclicked(LinkKind::Udp);
    return Form1->session.linkas<UdpLink>(LinkKind::Udp).localPort();
}

} // namespace

int main(int argc, char **argv) {
    BenchWindows bench(argc, argv);
    bench.start();
    BenchWindows::showlogs();

    const int filters = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const bool regex = argc > 2 && std::string(argv[2]) == "regex";
    Peer peer;
    peer.target(prepare(peer.port(), filters, regex));
    std::printf("logs hold %d lines before the run; %d active %s\n", 100000, filters,
                regex ? "regular expressions" : "filters");

    std::thread client([&] {
        roundtrips(peer, 200); // warm-up
        roundtrips(peer, 5000);
        for (int rate : {2000, 5000, 10000, 20000}) {
            const int seconds = 2;
            const int answered = burst(peer, rate, seconds);
            std::printf("burst %5d/s for %d s: %d of %d answered (%s)\n", rate, seconds, answered,
                        rate * seconds, answered == rate * seconds ? "no loss" : "loss");
        }
        std::printf("sustained with 32 in flight: %.0f answers/s\n", sustained(peer, 32, 3));
        QMetaObject::invokeMethod(&bench.app, &QApplication::quit, Qt::QueuedConnection);
    });
    bench.app.exec();
    client.join();
    Form1->session.close(LinkKind::Udp);
    return bench.silent.errors == 0 ? 0 : 1;
}
