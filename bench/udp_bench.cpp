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
#include "udp_peer.h"
#include "udp_windows.h"

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

// Opens UDP on a port the system chooses and returns it.
int prepare(int peerport, int filters, bool regex) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    for (int i = 0; i < 100000; ++i)
        Form_RX_TX->addstate("filler line " + QString::number(i));
    BenchWindows::checkeverybox();

    answerstx();
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

    return openudp(peerport);
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
        std::printf("sustained with 32 in flight: %.0f answers/s\n",
                    sustained(peer, request, 32, 3));
        QMetaObject::invokeMethod(&bench.app, &QApplication::quit, Qt::QueuedConnection);
    });
    bench.app.exec();
    client.join();
    Form1->session.close(LinkKind::Udp);
    return bench.silent.errors == 0 ? 0 : 1;
}
