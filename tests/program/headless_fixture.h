#pragma once

// Runs the real executable without windows and reads what it captures.
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "wait_for.h"

#include <csignal>
#include <unistd.h>

// A port that was free a moment ago.
inline quint16 freeport(bool tcp) {
    if (tcp) {
        QTcpServer probe;
        probe.listen(QHostAddress::AnyIPv4, 0);
        return probe.serverPort();
    }
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

class Headless : public ::testing::Test {
protected:
    QTemporaryDir dir;
    // Before the process: a process still running when a test fails is
    // ended by its destructor, and what it printed last still arrives.
    QByteArray out;
    QProcess program;

    // A set-up whose macro 1 "ack" answers "<ack>OK" to blocks that begin
    // with <stx> (or the filter given); `main` adds the link's keys to
    // [Form_main].
    QString setup(const QByteArray &main, const QByteArray &macro = "<ack>OK",
                  const QByteArray &interval = "1000", const QByteArray &filter = "<stx>") {
        const QString file = dir.filePath("lab.ini");
        QFile ini(file);
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Form_main]\r\n" + main +
                  "\r\n[Form_TX]\r\nTX_framecount=1\r\n"
                  "[Frame_TX_1]\r\ndescribe=ack\r\ndata=" +
                  macro + "\r\ninterval=" + interval +
                  "\r\n[Form_RX_filtr]\r\nfiltr_framecount=1\r\n[Frame_filtr_1]\r\n"
                  "filter=" +
                  filter + "\r\nmacro=ack\r\nactive=1\r\nhex=0\r\n");
        return file;
    }

    void SetUp() override {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        program.setProcessEnvironment(environment);
        QObject::connect(&program, &QProcess::readyReadStandardOutput,
                         [this] { out += program.readAllStandardOutput(); });
    }

    // Starts the program; what an earlier run captured is forgotten.
    void run(const QStringList &arguments) {
        out.clear();
        program.start(KROVAN_EXECUTABLE, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    // Runs to its end, within the time.
    int finish(int ms = 10000) {
        if (program.state() != QProcess::NotRunning) {
            EXPECT_TRUE(program.waitForFinished(ms)) << "still running";
        }
        out += program.readAllStandardOutput();
        return program.exitCode();
    }
    QString errors() { return QString::fromLocal8Bit(program.readAllStandardError()); }

    // Waits for a capture line of that kind and text field.
    bool captured(const QByteArray &kind, const QByteArray &text) {
        return waitfor(
            [&] {
                for (const QByteArray &line : out.split('\n')) {
                    const QList<QByteArray> fields = line.split('\t');
                    if (fields.size() == 6 && fields[1] == kind && fields[4] == text)
                        return true;
                }
                return false;
            },
            5000);
    }
    void stop() { ::kill(static_cast<pid_t>(program.processId()), SIGTERM); }
};
