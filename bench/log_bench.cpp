// Appending to the logs must cost the same at any size: records of 40-byte
// blocks, both directions, every box of "Stavy a data" checked and "Čas"
// checked in the data windows, all three windows shown (offscreen), at 0,
// 100 000 and 1 000 000 lines already in the log. Also: the memory a log
// line holds, a running line in a data window, and the row recount after a
// change of width.
#include "forms.h"
#include "log_view.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::string_view blocktext = "DATA;0123456789;ABCDEFGHIJKLMNOPQRSTUV\r\n";
static_assert(blocktext.size() == 40);
const std::string block(blocktext);

long residentbytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

int loglines() {
    return Form_RX_TX->RichEdit_mix->lineCount();
}

int alllines() {
    return loglines() + Form_rxw->RichEdit_rx->lineCount() + Form_txw->RichEdit_tx->lineCount();
}

void freshwindows() {
    destroyforms();
    createforms();
    for (QCheckBox *box :
         {Form_RX_TX->CheckBox_rx, Form_RX_TX->CheckBox_tx, Form_RX_TX->CheckBox_time,
          Form_RX_TX->CheckBox_adr, Form_RX_TX->CheckBox_makro, Form_RX_TX->CheckBox_hex,
          Form_RX_TX->CheckBox_stavy, Form_rxw->CheckBox_time, Form_txw->CheckBox_time})
        box->setChecked(true);
    Form_RX_TX->setGeometry(500, 80, 700, 400);
    Form_rxw->setGeometry(500, 80, 500, 200);
    Form_txw->setGeometry(500, 80, 500, 200);
    for (QWidget *window : std::initializer_list<QWidget *>{Form_RX_TX, Form_rxw, Form_txw})
        window->show();
    QApplication::processEvents();
}

// One record, alternately received (with a called macro) and sent.
void record(long n) {
    if (n % 2 == 0)
        Form_RX_TX->logdata(Direction::Received, block, "z: 10.0.0.5:5000 ", "/ Volá makro: ack ");
    else
        Form_RX_TX->logdata(Direction::Sent, block, "na: 10.0.0.5:5000 ", QString());
    // The event loop runs between records, painting what is shown.
    if (n % 10 == 0)
        QApplication::processEvents();
}

long recordcount = 0;

void filluntil(int lines) {
    while (loglines() < lines)
        record(recordcount++);
    QApplication::processEvents();
}

void BM_Records(benchmark::State &state) {
    const int lines = static_cast<int>(state.range(0));
    // Run alone, a larger size starts from fresh windows as well.
    if (lines == 0 || loglines() > lines || !Form_RX_TX->CheckBox_rx->isChecked())
        freshwindows();
    const long before = residentbytes();
    const int linesbefore = alllines();
    const long recordsbefore = recordcount;
    filluntil(lines);
    if (lines > 0) {
        const double grown = double(residentbytes() - before);
        state.counters["bytes_per_line"] = grown / double(alllines() - linesbefore);
        state.counters["bytes_per_record"] = grown / double(recordcount - recordsbefore);
    }
    state.counters["lines_at_start"] = loglines();

    for (auto _ : state)
        record(recordcount++);
    state.SetItemsProcessed(state.iterations());
    state.counters["rows_label"] = Form_RX_TX->Label_lines->text().toDouble();
}
BENCHMARK(BM_Records)
    ->Arg(0)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(5000)
    ->Unit(benchmark::kMicrosecond);

// After a change of width every row is counted again at once; this is how
// long that takes at the size the log has reached.
void BM_RecountAfterResize(benchmark::State &state) {
    LogView *log = Form_RX_TX->RichEdit_mix;
    int width = 650;
    for (auto _ : state) {
        Form_RX_TX->resize(width, 400);
        width = width == 650 ? 700 : 650;
        QApplication::processEvents();
    }
    state.counters["lines"] = loglines();
    state.counters["rows"] = log->rows();
}
BENCHMARK(BM_RecountAfterResize)->Iterations(2)->Unit(benchmark::kMillisecond);

// A running line in "Šestnáctkově" without time: every block appends its
// hex text to the last line, which by now is this many characters long.
void BM_RunningLine(benchmark::State &state) {
    Form_txw->Button1Click();
    Form_txw->CheckBox_time->setChecked(false);
    Form_txw->ComboBox_format->setCurrentIndex(3);
    const QString hex = QString(" 44").repeated(40);
    const std::string bytes(40, 'D');
    for (long length = 0; length < state.range(0); length += hex.size())
        Form_txw->appendblock(bytes, QString(), hex);
    QApplication::processEvents();
    long n = 0;
    for (auto _ : state) {
        Form_txw->appendblock(bytes, QString(), hex);
        if (++n % 10 == 0)
            QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunningLine)
    ->Arg(0)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(5000)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    createforms();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    destroyforms();
    return 0;
}
