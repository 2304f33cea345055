// The logs at ten million lines, through the real windows (offscreen, all
// three shown): 40-byte records of both directions with every box of
// "Stavy a data" checked and "Čas" checked in the data windows. Reports
// records per second at 0, 1 million and 10 million lines in "Stavy a
// data", the resident bytes a log line costs, Label_lines after a change of
// width at 10 million lines, an RTF save of 1 million lines, "Vymazat" of 10
// million lines, one 1 MB block, and the UDP loop in this process fed by a
// peer thread until "Stavy a data" holds 10 million lines.
//   ./build-rel/bench/log_bench [lines]   (10 000 000 unless given)
#include "bench_windows.h"
#include "dialogs.h"
#include "filter_list_window.h"
#include "filter_row.h"
#include "forms.h"
#include "log_view.h"
#include "log_wrap.h"
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
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view blocktext = "DATA;0123456789;ABCDEFGHIJKLMNOPQRSTUV\r\n";
static_assert(blocktext.size() == 40);
const std::string block(blocktext);

double millis(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

int loglines() {
    return Form_RX_TX->RichEdit_mix->lineCount();
}

long alllines() {
    return long(loglines()) + Form_rxw->RichEdit_rx->lineCount() +
           Form_txw->RichEdit_tx->lineCount();
}

void showwindows() {
    Form_RX_TX->setGeometry(500, 80, 700, 400);
    Form_rxw->setGeometry(500, 80, 500, 200);
    Form_txw->setGeometry(500, 80, 500, 200);
    for (QWidget *window : std::initializer_list<QWidget *>{Form_RX_TX, Form_rxw, Form_txw})
        window->show();
    QApplication::processEvents();
}

// One record, alternately received (with a called macro) and sent; the
// event loop runs every tenth, painting what is shown.
long recordcount = 0;
void record() {
    if (recordcount++ % 2 == 0)
        Session1->record(Direction::Received, block, "10.0.0.5:5000", {"ack"});
    else
        Session1->record(Direction::Sent, block, "10.0.0.5:5000");
    if (recordcount % 10 == 0)
        QApplication::processEvents();
}

// The longest single record while filling: a log that grows must not stall.
double longestrecord = 0;

void filluntil(int lines) {
    while (loglines() < lines) {
        const auto start = Clock::now();
        record();
        longestrecord = std::max(longestrecord, millis(start));
    }
    QApplication::processEvents();
}

// The rows of the states log counted from scratch, line by line.
long long countrows(LogView *view) {
    std::vector<std::unique_ptr<FontAdvances>> fonts;
    long long rows = 0;
    for (int n = 0; n < view->lineCount(); ++n) {
        const QString family = view->lineFont(n);
        auto found = std::find_if(fonts.begin(), fonts.end(),
                                  [&](const auto &f) { return f->font().family() == family; });
        if (found == fonts.end()) {
            fonts.push_back(std::make_unique<FontAdvances>(QFont(family, 8)));
            found = fonts.end() - 1;
        }
        rows +=
            static_cast<long long>(rowstarts(**found, view->lineText(n), view->wrapwidth()).size());
    }
    return rows;
}

// ---------------------------------------------------------------- records

void logs(int target) {
    std::printf("== records, 40-byte blocks, every box checked, windows shown ==\n");
    const long memorybefore = residentbytes();
    const long linesbefore = alllines();
    const double at0 = medianrate(20000, record);
    if (loglines() == 0) {
        std::printf("\"Stavy a data\" logs nothing: the boxes are not checked\n");
        std::exit(1);
    }
    std::printf("records/s at %9d lines: %9.0f   (target >= 100000)\n", 0, at0);

    const int million = std::min(1'000'000, target);
    filluntil(million);
    std::printf("records/s at %9d lines: %9.0f   (target >= 100000)\n", loglines(),
                medianrate(20000, record));

    QTemporaryDir dir;
    {
        const auto start = Clock::now();
        Form_RX_TX->RichEdit_mix->save(dir.filePath("log.rtf"));
        std::printf("RTF save of %d lines: %.0f ms   (target <= 2000 ms), %lld bytes\n", loglines(),
                    millis(start), QFileInfo(dir.filePath("log.rtf")).size());
        QFile::remove(dir.filePath("log.rtf"));
    }

    filluntil(target);
    const double attarget = medianrate(20000, record);
    std::printf("records/s at %9d lines: %9.0f   (target >= 100000 and >= 0.9 x at 0: %.2f)\n",
                loglines(), attarget, attarget / at0);
    std::printf("longest record while filling: %.1f ms\n", longestrecord);
    const long lines = alllines() - linesbefore;
    std::printf("resident bytes per log line: %.1f   (target <= 64; %ld lines in the three "
                "logs, %.0f MB grown)\n",
                double(residentbytes() - memorybefore) / double(lines), lines,
                double(residentbytes() - memorybefore) / 1e6);

    // A change of width: the next record's Label_lines counts every row at
    // the new width.
    for (const int width : {650, 700}) {
        const auto start = Clock::now();
        Form_RX_TX->resize(width, 400);
        QApplication::processEvents();
        const QString before = Form_RX_TX->Label_lines->text();
        record();
        // The label takes the count with the log's next repaint.
        while (Form_RX_TX->Label_lines->text() == before && millis(start) < 10'000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        const double ms = millis(start);
        const long long label = Form_RX_TX->Label_lines->text().toLongLong();
        std::printf("width %d: Label_lines %lld after %.0f ms   (target <= 1000 ms)\n", width,
                    label, ms);
    }
    {
        const auto start = Clock::now();
        const long long counted = countrows(Form_RX_TX->RichEdit_mix);
        std::printf("  rows counted afresh line by line: %lld (%s Label_lines; %.1f s)\n", counted,
                    counted == Form_RX_TX->Label_lines->text().toLongLong() ? "equal to"
                                                                            : "DIFFERENT FROM",
                    secondssince(start));
    }

    // One 1 MB block: appended to all three logs and painted.
    {
        std::string big(1 << 20, 'x');
        for (std::size_t i = 0; i < big.size(); i += 97)
            big[i] = ' ';
        const auto start = Clock::now();
        Form_RX_TX->logdata(Direction::Received, big, "z: 10.0.0.5:5000 ", QString());
        QApplication::processEvents();
        const double appended = millis(start);
        const auto painted = Clock::now();
        Form_RX_TX->RichEdit_mix->viewport()->repaint();
        Form_rxw->RichEdit_rx->viewport()->repaint();
        std::printf("1 MB block: appended in %.1f ms, painted in %.1f ms   (target: no stall "
                    "over 50 ms)\n",
                    appended, millis(painted));
    }

    {
        const int before = loglines();
        const auto start = Clock::now();
        Form_RX_TX->Button1Click();
        QApplication::processEvents();
        std::printf("Vymazat of %d lines: %.1f ms   (target <= 100 ms)\n", before, millis(start));
    }
    Form_rxw->Button1Click();
    Form_txw->Button1Click();
    QApplication::processEvents();
}

// ---------------------------------------------------------------- UDP loop

// A 40-byte request that the filter <stx> answers with a macro.
const std::string request = "\x02" + std::string(blocktext.substr(1));

void udploop(QApplication &app, int target) {
    std::printf("== UDP loop in this process, 8 requests in flight, until \"Stavy a data\" holds "
                "%d lines ==\n",
                target);
    Peer peer;
    answerstx();
    peer.target(openudp(peer.port()));
    std::atomic<bool> stop{false};
    std::atomic<long> answered{0};
    std::atomic<long> lost{0};
    std::thread client([&] {
        constexpr int window = 8;
        for (int i = 0; i < window; ++i)
            peer.send(request.data(), request.size());
        while (!stop) {
            if (peer.receive(200)) {
                ++answered;
                peer.send(request.data(), request.size());
            } else if (!stop) {
                ++lost; // a time-out: put the request back in flight
                peer.send(request.data(), request.size());
            }
        }
    });

    // Every second: the answers in it; every 5 ms a tick, whose largest gap
    // is the longest stall of the event loop.
    std::vector<double> rates;
    std::vector<int> linesat;
    double worst = 0;
    auto lasttick = Clock::now();
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, millis(lasttick));
        lasttick = Clock::now();
    });
    long lastanswered = 0;
    auto lastsecond = Clock::now();
    QTimer second;
    second.setInterval(1000);
    QObject::connect(&second, &QTimer::timeout, [&] {
        const long now = answered;
        rates.push_back(double(now - lastanswered) / secondssince(lastsecond));
        linesat.push_back(loglines());
        lastanswered = now;
        lastsecond = Clock::now();
        if (rates.size() % 10 == 1)
            std::printf("  %3zu s: %8.0f answers/s, %9d lines, worst stall so far %.0f ms\n",
                        rates.size(), rates.back(), loglines(), worst);
        if (loglines() >= target || rates.size() > 150)
            app.quit();
    });
    tick.start();
    second.start();
    app.exec();
    stop = true;
    client.join();
    Form1->session.close(LinkKind::Udp);
    const std::size_t n = rates.size();
    if (n < 4) {
        std::printf("too short a run\n");
        return;
    }
    // The first and last full seconds (the first one warms up).
    const double first = rates[1];
    const double last = rates[n - 1];
    std::printf("answers/s at start (%d lines): %.0f; at the end (%d lines): %.0f   (target >= "
                "40000 at the end, >= 0.9 x start: %.2f)\n",
                linesat[1], first, linesat[n - 1], last, last / first);
    std::printf("longest event-loop stall: %.0f ms   (target <= 100 ms); %ld answered, %ld "
                "time-outs\n",
                worst, long(answered), long(lost));
}

} // namespace

int main(int argc, char **argv) {
    const int target = argc > 1 ? std::atoi(argv[1]) : 10'000'000;
    const bool udp = !(argc > 2 && std::string(argv[2]) == "noudp");
    BenchWindows bench(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bench.start();
    BenchWindows::checkeverybox();
    showwindows();
    logs(target);
    if (udp)
        udploop(bench.app, target);
    return bench.silent.errors == 0 ? 0 : 1;
}
