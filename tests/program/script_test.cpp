// Lua test scripts in the real executable against a UDP peer of the test:
// the verdict in the exit status, the JUnit report and the capture.
#include "headless_fixture.h"
#include "write_file.h"

#include <QNetworkDatagram>

namespace {

class Script : public Headless {
protected:
    QUdpSocket peer;
    quint16 port = 0;
    QList<QByteArray> heard;

    void SetUp() override {
        Headless::SetUp();
        ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
        port = freeport(false);
    }

    QString script(const QByteArray &lua) { return writefile(dir.filePath("selftest.lua"), lua); }

    // Runs the script on UDP; the peer answers "ANS:" and the datagram's
    // length to every datagram that does not begin with <ack>.
    void runscript(const QByteArray &lua, const QStringList &more = {}) {
        run(QStringList{
                "--headless",
                setup("connection=3\r\nrx_port=" + QByteArray::number(port) +
                      "\r\ntx_adr=127.0.0.1\r\ntx_port=" + QByteArray::number(peer.localPort())),
                "--script", script(lua), "--report", dir.filePath("report.xml")} +
            more);
    }
    // Answers as the peer until the program ends or the time is up.
    int answeruntilend(int ms = 10000) {
        waitfor(
            [&] {
                while (peer.hasPendingDatagrams()) {
                    const QByteArray data = peer.receiveDatagram().data();
                    heard << data;
                    if (!data.startsWith('\x06'))
                        peer.writeDatagram("ANS:" + QByteArray::number(data.size()),
                                           QHostAddress::LocalHost, port);
                }
                return program.state() == QProcess::NotRunning;
            },
            ms);
        return finish();
    }
    // The report as Python's JUnit reading sees it: tests, failures and
    // errors of the suite, then each case's name and failure message.
    QString report() {
        QProcess python;
        python.start("/usr/bin/python3",
                     {"-c",
                      "import sys, xml.etree.ElementTree as T\n"
                      "s = T.parse(sys.argv[1]).getroot()\n"
                      "assert s.tag == 'testsuite'\n"
                      "print(s.get('name'), s.get('tests'), s.get('failures'), s.get('errors'))\n"
                      "for c in s.iter('testcase'):\n"
                      "    f = c.find('failure') if c.find('failure') is not None else "
                      "c.find('error')\n"
                      "    float(c.get('time'))\n"
                      "    print(c.get('name'), '|', '' if f is None else f.get('message'))\n",
                      dir.filePath("report.xml")});
        EXPECT_TRUE(python.waitForFinished(10000));
        return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError());
    }
};

TEST_F(Script, AnAnswerExpectedAndCheckedEndsWithStatusZero) {
    runscript(R"(
        krovan.write("hello")
        local block, digits = krovan.expect("^ANS:(\\d+)$", 2000)
        krovan.check(digits == "5", "the peer counted five bytes")
        krovan.check(krovan.expect("never", 100) == nil, "a time-out gives nil")
    )");
    EXPECT_EQ(answeruntilend(), 0) << errors().toStdString();
    EXPECT_EQ(report(), "selftest.lua 2 0 0\n"
                        "the peer counted five bytes | \n"
                        "a time-out gives nil | \n");
    EXPECT_TRUE(captured("STATE", "Skript selftest.lua skončil (kontrol: 2, selhalo: 0)"));
}

TEST_F(Script, AFailedCheckGivesOneAndTheScriptGoesOn) {
    runscript(R"(
        krovan.check(1 + 1 == 3, "arithmetic")
        krovan.log("after the check")
    )");
    EXPECT_EQ(answeruntilend(), 1);
    EXPECT_TRUE(captured("ERROR", "CHYBA: kontrola arithmetic selhala"));
    EXPECT_TRUE(captured("STATE", "after the check"));
    EXPECT_EQ(report(), "selftest.lua 1 1 0\narithmetic | check arithmetic failed\n");
}

TEST_F(Script, ErrorsNameTheFileAndTheLine) {
    runscript("krovan.log('one')\nlocal x = nil + 1\n");
    EXPECT_EQ(answeruntilend(), 1);
    const QString message =
        dir.filePath("selftest.lua") + ":2: attempt to perform arithmetic on a nil value";
    EXPECT_TRUE(errors().contains(message)) << errors().toStdString();
    EXPECT_TRUE(captured("ERROR", "CHYBA: " + message.toUtf8()));
    EXPECT_EQ(report(), "selftest.lua 1 0 1\nselftest.lua | " + message + "\n");

    // A script that does not load ends the run before the link opens.
    runscript("krovan.log('one'\n");
    EXPECT_EQ(finish(), 2);
    EXPECT_TRUE(errors().contains(dir.filePath("selftest.lua") + ":2:")) << errors().toStdString();
}

TEST_F(Script, BlocksComeInOrderWhileTheFiltersGoOnAnswering) {
    runscript(R"(
        krovan.write("x")
        krovan.sleep(300)
        local first, second = krovan.receive(1000), krovan.receive(1000)
        krovan.check(first == "ANS:1" and second == "\2z", "in order")
        krovan.exit(7)
    )");
    // The peer answers "x" first, then sends a block the filter answers.
    ASSERT_TRUE(waitfor([&] { return peer.hasPendingDatagrams(); }, 5000));
    const QByteArray x = peer.receiveDatagram().data();
    peer.writeDatagram("ANS:" + QByteArray::number(x.size()), QHostAddress::LocalHost, port);
    peer.writeDatagram("\x02z", QHostAddress::LocalHost, port);
    EXPECT_EQ(answeruntilend(), 7) << "krovan.exit's code";
    EXPECT_TRUE(heard.contains("\x06OK")) << "the filter answered while the script slept";
    EXPECT_EQ(report(), "selftest.lua 1 0 0\nin order | \n");
}

TEST_F(Script, ASignalDuringASleepEndsWithZeroAndAReport) {
    runscript("krovan.check(true, 'first')\nkrovan.sleep(60000)\n");
    ASSERT_TRUE(captured("STATE", "Skript selftest.lua spuštěn")) << errors().toStdString();
    stop();
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(report(), "selftest.lua 1 0 0\nfirst | \n");
}

} // namespace
