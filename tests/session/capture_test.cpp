// The capture file without any window: its lines, its rotation and a file
// that stops taking entries.
#include "capture_file.h"
#include "capture_line.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

LogEntry state(const QString &text) {
    LogEntry entry;
    entry.kind = LogEntry::Kind::State;
    entry.time = 1765198987125; // 2025-12-08 13:03:07.125 UTC
    entry.text = text;
    return entry;
}

QByteArray readall(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(CaptureLine, TimeHasMillisecondsAndTheOffset) {
    const std::string time = capturetime(1765198987125);
    EXPECT_TRUE(QRegularExpression(R"(^2025-12-0[89]T\d\d:\d\d:07\.125[+-]\d\d:\d\d$)")
                    .match(QString::fromStdString(time))
                    .hasMatch())
        << time;
    EXPECT_EQ(capturetime(1765198987000).substr(19, 4), ".000");
}

TEST(CaptureLine, ARecordsSixFieldsAndALineOfText) {
    LogEntry rx;
    rx.kind = LogEntry::Kind::Record;
    rx.direction = Direction::Received;
    rx.address = "10.0.0.5:5000";
    rx.macros = {"ack", "raw"};
    rx.bytes = std::string("A\0\t\x7F\x80\xFF", 6);
    const QStringList fields = QString::fromStdString(captureline(rx)).split('\t');
    ASSERT_EQ(fields.size(), 6);
    EXPECT_EQ(fields[1], "RX");
    EXPECT_EQ(fields[2], "10.0.0.5:5000");
    EXPECT_EQ(fields[3], "ack / raw");
    EXPECT_EQ(fields[4], QString::fromUtf8("A<nul><tab>\x7F€˙"));
    EXPECT_EQ(fields[5], "41 00 09 7F 80 FF\n");

    LogEntry empty = rx;
    empty.direction = Direction::Sent;
    empty.bytes.clear();
    empty.macros.clear();
    EXPECT_TRUE(captureline(empty).ends_with("\tTX\t10.0.0.5:5000\t\t\t\n"));
    EXPECT_TRUE(captureline(state("line\tone\ntwo")).ends_with("\tSTATE\t\t\tline one two\t\n"));
    // Any text in UTF-8: accents, a character beyond 16 bits, a lone half
    // of a pair (written as U+FFFD).
    EXPECT_TRUE(captureline(state("Připojeno ✓ 😀")).ends_with("\tPřipojeno ✓ 😀\t\n"));
    EXPECT_TRUE(captureline(state(QString(QChar(0xD800)) + "x")).ends_with("\t\xEF\xBF\xBDx\t\n"));
}

TEST(CaptureFileTest, AppendsAndRotatesUpToNineOlderFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cap.tsv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("kept\n");
    }
    const std::string line = captureline(state("0123456789"));
    {
        // Rotation is checked before each write of what waited: one line at
        // a time, each write past 3 lines starts a new file.
        CaptureFile capture(path, qint64(line.size()) * 3);
        for (int i = 0; i < 40; ++i) {
            capture.write(state("0123456789"));
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < CaptureFile::flushms * 3)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    int lines = 0;
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files)) {
        const QByteArray content = readall(dir.filePath(name));
        EXPECT_TRUE(content.endsWith('\n')) << name.toStdString();
        lines += static_cast<int>(content.count('\n'));
    }
    EXPECT_TRUE(QFile::exists(path + ".9"));
    EXPECT_FALSE(QFile::exists(path + ".10"));
    EXPECT_LT(lines, 41) << "the oldest files were dropped";
    EXPECT_GE(lines, 3 * 9);
    EXPECT_FALSE(readall(path + ".9").contains("kept")) << "the oldest file is gone";
}

TEST(CaptureFileTest, WritesEachEntryAsItsLine) {
    // Records with no, one and two macros, texts and blocks of odd and even
    // lengths one after another, and a line of text.
    std::vector<LogEntry> entries;
    for (int i = 0; i < 6; ++i) {
        LogEntry entry;
        entry.kind = LogEntry::Kind::Record;
        entry.direction = i % 2 ? Direction::Sent : Direction::Received;
        entry.time = 1765198987125 + i;
        entry.bytes = std::string(static_cast<size_t>(i), static_cast<char>(0x7E + i));
        entry.address = QString("COM%1").arg(i * 11) + (i == 3 ? "ř" : "");
        for (int m = 0; m < i % 3; ++m)
            entry.macros << QString("m").repeated(m + i);
        entries.push_back(entry);
    }
    entries.push_back(state("Připojeno"));
    QTemporaryDir dir;
    const QString path = dir.filePath("cap.tsv");
    std::string expected;
    {
        CaptureFile capture(path);
        for (const LogEntry &entry : entries) {
            capture.write(entry);
            expected += captureline(entry);
        }
    }
    EXPECT_EQ(readall(path).toStdString(), expected);
}

TEST(CaptureFileTest, AFullDeviceStopsTheCaptureWithTheSystemsReason) {
    CaptureFile capture("/dev/full");
    QSignalSpy failed(&capture, &CaptureFile::failed);
    capture.write(state("lost"));
    ASSERT_TRUE(failed.wait(2000));
    EXPECT_EQ(failed[0][0].toString(), "Unable to write to /dev/full: No space left on device");
    capture.write(state("ignored"));
    EXPECT_FALSE(failed.wait(300)) << "once";
}

TEST(CaptureFileTest, AFileThatCannotBeOpenedFailsAtOnce) {
    EXPECT_THROW(CaptureFile("/nonexistent-folder/cap.tsv"), std::exception);
}

} // namespace
