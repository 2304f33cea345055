// Lua test scripts in the real executable against a UDP peer of the test:
// the verdict in the exit status, the JUnit report and the capture.
#include "headless_fixture.h"
#include "write_file.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QRegularExpression>

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
    std::string report() {
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
        return (python.readAllStandardOutput() + python.readAllStandardError()).toStdString();
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
        krovan.sleep(200)
        krovan.log("after the check")
    )");
    EXPECT_EQ(answeruntilend(), 1);
    QFile xml(dir.filePath("report.xml"));
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch suite =
        QRegularExpression("<testsuite [^>]*time=\"([0-9.]+)\"").match(xml.readAll());
    ASSERT_TRUE(suite.hasMatch());
    EXPECT_GE(suite.captured(1).toDouble(), 0.18) << "the suite's time is the script's run time";
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
    EXPECT_EQ(report(), "selftest.lua 1 0 1\nselftest.lua | " + message.toStdString() + "\n");
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

TEST_F(Script, ASignalEndsAScriptThatSleepsOrComputesAtOnceWithAReport) {
    const std::string stopped = "selftest.lua | the script was stopped\n";
    for (const QByteArray &busy :
         {QByteArray("krovan.sleep(60000)"), QByteArray("while true do end"),
          QByteArray("pcall(coroutine.wrap(function() local n = 0 while true do n = n + 1 end "
                     "end))")}) {
        runscript("krovan.check(true, 'first')\n" + busy + "\n");
        ASSERT_TRUE(captured("STATE", "Skript selftest.lua spuštěn")) << errors().toStdString();
        waitfor([] { return false; }, 100);
        QElapsedTimer clock;
        clock.start();
        stop();
        EXPECT_EQ(finish(2000), 0) << busy.toStdString();
        // Under the sanitizers the process's own end takes most of it.
        EXPECT_LT(clock.elapsed(), 1000) << busy.toStdString();
        EXPECT_TRUE(captured("STATE", "Skript selftest.lua skončil (kontrol: 1, selhalo: 0)"));
        EXPECT_EQ(report(), "selftest.lua 2 0 1\nfirst | \n" + stopped) << busy.toStdString();
    }
    // The run's time ends it the same way.
    runscript("while true do end\n", {"--duration", "0.3"});
    EXPECT_EQ(finish(3000), 0);
    EXPECT_EQ(report(), "selftest.lua 1 0 1\n" + stopped);
}

TEST_F(Script, TheEndIsFinalWhateverSurroundsIt) {
    const auto endswith = [&](const QByteArray &lua, int status, const std::string &expected) {
        runscript(lua);
        EXPECT_EQ(answeruntilend(), status) << lua.toStdString();
        EXPECT_EQ(report(), expected) << lua.toStdString();
    };
    endswith("pcall(function() krovan.exit(3) end)\nkrovan.check(false, 'after')\nerror('x')\n", 3,
             "selftest.lua 0 0 0\n");
    endswith("xpcall(function() os.exit(true) end, print)\nkrovan.fail('after')\n", 0,
             "selftest.lua 0 0 0\n");
    // The script's own coroutines: a wait inside one waits, its own yields
    // still reach the script, and an end inside one ends the script.
    endswith(R"lua(
        local inner = coroutine.wrap(function()
            local before = krovan.now()
            krovan.sleep(100)
            krovan.write("in")
            local answer = krovan.expect("^ANS", 2000)
            coroutine.yield(krovan.now() - before >= 90 and answer)
            pcall(krovan.fail, "inner")
            krovan.check(false, "never")
        end)
        krovan.check(inner() == "ANS:2", "waits inside a coroutine")
        inner()
        krovan.check(false, "after the coroutine")
    )lua",
             1, "selftest.lua 2 1 0\nwaits inside a coroutine | \ninner | inner\n");
}

TEST_F(Script, AScriptHasItsMemoryBoundAndChecksumsAndSendsItsOutcome) {
    runscript(R"lua(
        krovan.check(krovan.hex(krovan.bytes("$01$03$00$00$00$01<=crc16-modbus>")) ==
                     "01 03 00 00 00 01 84 0A", "a frame with its CRC")
        krovan.check(krovan.checksum("crc16-modbus", "\1\3\0\0\0\1") == "\x84\x0A" and
                     krovan.checksum("crc32:hex", "123456789") == "CBF43926", "checksums")
        krovan.check(krovan.bytes("<=[>a<=count><=rx><=1><=]>b<=sum8>") == "aba", "no row, no block")
        local ok, message = pcall(krovan.bytes, "x<=crc99>")
        krovan.check(message:find("Neznámý výpočet '<=crc99>'", 1, true), "an unknown escape")
        ok, message = pcall(krovan.checksum, "count", "")
        krovan.check(message:find("Neznámý výpočet '<=count>'", 1, true), "no checksum")
        ok, message = pcall(krovan.send, "one")
        krovan.check(message:find("bad argument #1 to 'krovan.send' (number expected, got string)",
                                  1, true), "argument errors name the function")
        local sent, why = krovan.write(string.rep("x", 70000))
        krovan.check(sent == nil and why ~= nil and #why > 0, "a failed send says why")
        krovan.check(krovan.write("ok") == true, "a send that went")
        local s = "x"
        while true do s = s .. s end
    )lua");
    EXPECT_EQ(answeruntilend(20000), 1);
    EXPECT_TRUE(captured("ERROR", "CHYBA: Nepovedlo se odeslat."));
    EXPECT_TRUE(errors().contains("not enough memory"));
    EXPECT_EQ(report(), "selftest.lua 9 0 1\n"
                        "a frame with its CRC | \nchecksums | \nno row, no block | \n"
                        "an unknown escape | \nno checksum | \n"
                        "argument errors name the function | \na failed send says why | \n"
                        "a send that went | \nselftest.lua | not enough memory\n");
}

TEST_F(Script, AReportAtEveryEndAndAReportThatCannotBeWrittenFails) {
    // A script that does not load ends the run before the link opens; a
    // link that does not open ends it before the script starts.
    runscript("krovan.log('one'\n");
    EXPECT_EQ(finish(), 2);
    EXPECT_TRUE(errors().contains(dir.filePath("selftest.lua") + ":2:")) << errors().toStdString();
    EXPECT_EQ(report().rfind("selftest.lua 1 0 1\nselftest.lua | " +
                                 dir.filePath("selftest.lua").toStdString() + ":2:",
                             0),
              0u);
    run({"--headless",
         setup("connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=" +
               QByteArray::number(freeport(true))),
         "--script", script("krovan.check(true)\n"), "--report", dir.filePath("report.xml")});
    EXPECT_EQ(finish(), 1);
    const QString failure = QString::fromStdString(report());
    EXPECT_TRUE(failure.startsWith("selftest.lua 1 0 1\nselftest.lua | ")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("refused")) << failure.toStdString();

    // The system's own reason, and a status of at least 1.
    for (const auto &[path, reason] :
         {std::pair{dir.path(), "Is a directory"},
          std::pair{QString("/proc/version"), "Input/output error"},
          std::pair{dir.filePath("none/report.xml"), "No such file or directory"}}) {
        run({"--headless",
             setup("connection=3\r\nrx_port=" + QByteArray::number(freeport(false)) +
                   "\r\ntx_adr=127.0.0.1\r\ntx_port=9"),
             "--script", script("krovan.check(true)\n"), "--report", path});
        EXPECT_EQ(finish(), 1) << path.toStdString();
        EXPECT_TRUE(errors().contains(path + ": " + reason)) << path.toStdString();
    }
}

} // namespace
