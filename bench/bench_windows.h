#pragma once

// What the benchmarks of the windows share: the offscreen platform unless
// another is asked for, a dialogs seam that never blocks, the eight windows
// with their settings in a folder of their own, every log box checked, and
// the quantiles of a measurement.
#include "dialogs.h"
#include "forms.h"
#include "log_view.h"
#include "main_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "session.h"
#include "states_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <vector>

// Errors go to stderr and are counted, every question is answered "No" and
// no file is ever chosen.
class SilentDialogs : public Dialogs {
public:
    int errors = 0;
    void showError(const QString &message) override {
        ++errors;
        std::fprintf(stderr, "error: %s\n", qPrintable(message));
    }
    Answer confirm(const QString &, bool) override { return Answer::No; }
    QString openFileName(const FileDialogSetup &) override { return {}; }
    QString saveFileName(const FileDialogSetup &) override { return {}; }
};

class BenchWindows {
public:
    BenchWindows(int &argc, char **argv) : app((offscreen(), argc), argv) { setDialogs(&silent); }
    ~BenchWindows() { destroyforms(); }

    // Creates the windows and shows the main one, whose first activation
    // reads the (missing) settings: every box starts unchecked. With
    // BENCH_CAPTURE set, every entry is captured to that file as well.
    void start() {
        // The logs keep their text in spool files, as in the program, unless
        // BENCH_MEMORY_LOGS asks for memory.
        if (qEnvironmentVariableIsEmpty("BENCH_MEMORY_LOGS"))
            LogView::spoolfolder = dir.filePath("spool");
        createforms();
        Form1->settingsfile = dir.filePath("bench.ini");
        Form1->show();
        Form1->activateWindow();
        QApplication::processEvents();
        if (!qEnvironmentVariableIsEmpty("BENCH_CAPTURE")) {
            Session1->startcapture(qEnvironmentVariable("BENCH_CAPTURE"), qint64(1) << 40);
            std::printf("capturing to %s\n", qPrintable(qEnvironmentVariable("BENCH_CAPTURE")));
        }
    }

    // The three logs shown, every box of them checked.
    static void showlogs() {
        for (QWidget *window : std::initializer_list<QWidget *>{Form_RX_TX, Form_rxw, Form_txw})
            window->show();
    }
    static void checkeverybox() {
        for (QCheckBox *box :
             {Form_RX_TX->CheckBox_stavy, Form_RX_TX->CheckBox_rx, Form_RX_TX->CheckBox_tx,
              Form_RX_TX->CheckBox_time, Form_RX_TX->CheckBox_adr, Form_RX_TX->CheckBox_makro,
              Form_RX_TX->CheckBox_hex, Form_rxw->CheckBox_time, Form_txw->CheckBox_time})
            box->setChecked(true);
    }

    QApplication app;
    SilentDialogs silent;
    QTemporaryDir dir;

private:
    static void offscreen() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

// The value below which the fraction q of the values lie (0 for none).
inline double quantile(std::vector<double> values, double q) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))];
}

// The bytes of memory the process has resident.
inline long residentbytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

inline double secondssince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Calls of step per second over stretches of `count` calls: the median of
// three stretches, since one alone is at the mercy of this machine's
// neighbours.
template <class Step> double medianrate(int count, Step step) {
    std::vector<double> rates;
    for (int stretch = 0; stretch < 3; ++stretch) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i)
            step();
        rates.push_back(count / secondssince(start));
    }
    return quantile(rates, 0.5);
}
