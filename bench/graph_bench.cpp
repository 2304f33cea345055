// The plot under load, through the real windows: with 10 000 values a
// second arriving over UDP (5 000 datagrams "t=… h=…" a second, each
// answered by a filter), how often the plot repaints while it follows;
// then the sustained answer rate with the plot hidden and with it shown
// and following, alternated in one run, and their ratio.
//   graph_bench [ROUNDS]   (default 7 rounds of 2 s each way)
#include "bench_windows.h"
#include "udp_peer.h"
#include "udp_windows.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "graph_view.h"
#include "graph_window.h"
#include "macro_list_window.h"
#include "macro_row.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLineSeries>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

const char request[] = "\x02t=21.5 h=40";

// Counts the paints of the widget it watches.
class PaintCounter : public QObject {
public:
    std::atomic<int> paints{0};
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs `work` on the GUI thread and waits for it.
template <class Work> void ongui(Work work) {
    QMetaObject::invokeMethod(Form_graf, work, Qt::BlockingQueuedConnection);
}

// Sends `rate` datagrams a second for `seconds`, paced evenly, answers
// drained as they come; gives the answers counted.
int paced(Peer &peer, int rate, int seconds) {
    const auto period = std::chrono::nanoseconds(1'000'000'000LL / rate);
    const auto start = std::chrono::steady_clock::now();
    int answered = 0;
    for (int i = 0; i < rate * seconds; ++i) {
        std::this_thread::sleep_until(start + i * period);
        peer.send(request, sizeof request - 1);
        answered += peer.drain();
    }
    while (peer.receive(300))
        answered += 1 + peer.drain();
    return answered;
}

void repaints(Peer &peer, PaintCounter &counter) {
    ongui([] { Form_graf->show(); });
    const int seconds = 3;
    const int before = counter.paints;
    const auto start = std::chrono::steady_clock::now();
    const int answered = paced(peer, 5000, seconds);
    const double elapsed = secondssince(start);
    std::size_t points = 0;
    ongui([&] {
        for (const auto &series : Form_graf->series())
            points += series->store.size();
    });
    std::printf("10 000 values/s for %d s: %d of %d answered, %zu points plotted, "
                "%.1f repaints/s while following\n",
                seconds, answered, 5000 * seconds, points, (counter.paints - before) / elapsed);
}

void answerrates(Peer &peer, int rounds) {
    std::vector<double> hidden, shown;
    for (int round = 0; round < rounds; ++round) {
        ongui([] { Form_graf->hide(); });
        hidden.push_back(sustained(peer, request, 32, 2));
        ongui([] {
            Form_graf->show();
            Form_graf->follow();
        });
        shown.push_back(sustained(peer, request, 32, 2));
        std::printf("round %d: hidden %.0f answers/s, shown and following %.0f answers/s\n",
                    round + 1, hidden.back(), shown.back());
    }
    const double a = quantile(hidden, 0.5), b = quantile(shown, 0.5);
    std::printf("medians: hidden %.0f, shown %.0f answers/s; ratio %.2f\n", a, b, b / a);
}

// What one redraw and one paint of the chart take with all the points of
// the run held.
void costs() {
    ongui([] {
        std::size_t points = 0;
        for (const auto &series : Form_graf->series())
            points += series->store.size();
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i)
            Form_graf->redraw();
        const double redraw = secondssince(start) * 1000 / 20;
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i)
            Form_graf->Chart_graf->grab();
        const double paint = secondssince(start) * 1000 / 20;
        std::printf("with %zu points held: a redraw %.2f ms, a paint of the chart %.2f ms\n",
                    points, redraw, paint);
    });
}

} // namespace

int main(int argc, char **argv) {
    BenchWindows bench(argc, argv);
    bench.start();
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    PaintCounter counter;
    Form_graf->resize(900, 500);
    Form_graf->Chart_graf->viewport()->installEventFilter(&counter);
    Peer peer;
    answerstx();
    peer.target(openudp(peer.port()));

    std::thread client([&] {
        repaints(peer, counter);
        answerrates(peer, rounds);
        costs();
        QMetaObject::invokeMethod(&bench.app, &QApplication::quit, Qt::QueuedConnection);
    });
    bench.app.exec();
    client.join();
    Form1->session.close(LinkKind::Udp);
    return bench.silent.errors == 0 ? 0 : 1;
}
