// The logs keep their text in spool files: through the real windows and a
// real UDP peer, what a user reads, saves and finds is what the in-memory
// log shows, and no file outlives its log.
#include "udp_fixture.h"
#include "write_file.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "find_bar.h"
#include "log_seam.h"
#include "log_view.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "received_window.h"
#include "session.h"
#include "states_window.h"
#include "wait_for.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>
#include <sys/resource.h>
#include <utility>

namespace {

class SpooledLog : public UdpFixture {
protected:
    void SetUp() override {
        UdpFixture::SetUp();
        for (QCheckBox *box :
             {Form_RX_TX->CheckBox_rx, Form_RX_TX->CheckBox_tx, Form_RX_TX->CheckBox_makro,
              Form_RX_TX->CheckBox_stavy, Form_RX_TX->CheckBox_adr, Form_RX_TX->CheckBox_hex})
            box->setChecked(true);
    }

    // Opens the link; a filter answers every block that starts with STX.
    void openanswering() {
        openudp();
        ASSERT_TRUE(Form1->session.isopen(LinkKind::Udp));
        Form_TX->tx_frames[1]->Edit_popis->setText("ack");
        Form_TX->tx_frames[1]->Edit_data->setText("<ack><=rx:1,4>");
        TFrame_filtr *filter = Form_RX_filtr->filtr_frames[1];
        filter->Edit_filtr->setText("<stx>");
        filter->ComboBox_filtr_macro->setEditText("ack");
        filter->CheckBox_filtr_active->setChecked(true);
    }

    // Sends datagrams in bursts and waits for each burst's records, until
    // "Stavy a data" holds `lines` lines; datagram i is made by make(i).
    template <class Make> void feed(int lines, Make make) {
        LogView *mix = Form_RX_TX->RichEdit_mix;
        for (int i = 0; mix->lineCount() < lines;) {
            const int before = mix->lineCount();
            for (int k = 0; k < 50; ++k, ++i)
                sendtoprogram(make(i));
            ASSERT_TRUE(waitfor([&] { return mix->lineCount() >= before + 150; }, 10000))
                << mix->lineCount();
        }
        waitfor([] { return false; }, 100);
    }

    static QStringList spoolfiles() {
        return QDir(LogView::spoolfolder).entryList({"*.spool"}, QDir::Files);
    }
};

// Datagrams of every kind: text, control and high bytes, long ones that
// wrap, some answered.
QByteArray datagram(int i) {
    QByteArray data =
        (i % 3 == 0 ? QByteArray("\x02") : QByteArray()) + "DATA;" + QByteArray::number(i) + ";";
    for (int k = 0; k < i % 7; ++k)
        data += char(0x80 + (i + k) % 128);
    if (i % 11 == 0)
        data += QByteArray(300 + i % 200, 'w').replace(17, 1, " ");
    if (i % 5 == 0)
        data += "\r\n\t";
    return data;
}

QByteArray filebytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(SpooledLog, HundredsOfThousandsOfLinesReadBackAsTheInMemoryLogShowsThem) {
    // A twin of "Stavy a data" keeping its text in memory, fed by the same
    // session, at the same width.
    const QString folder = LogView::spoolfolder;
    LogView::spoolfolder.clear();
    TForm_RX_TX twin;
    LogView::spoolfolder = folder;
    for (QCheckBox *box : twin.findChildren<QCheckBox *>())
        box->setChecked(Form_RX_TX->findChild<QCheckBox *>(box->objectName())->isChecked());
    LogView *spooled = Form_RX_TX->RichEdit_mix;
    LogView *memory = twin.RichEdit_mix;
    Form_RX_TX->show();
    twin.show();
    spooled->setFixedWidth(400);
    memory->setFixedWidth(400);
    ASSERT_FALSE(spooled->spoolpath().isEmpty());
    ASSERT_TRUE(memory->spoolpath().isEmpty());

    openanswering();
    feed(200000, datagram);
    ASSERT_EQ(seam::linecount(spooled), seam::linecount(memory));
    ASSERT_EQ(spooled->wrapwidth(), memory->wrapwidth());
    for (int n = 0; n < seam::linecount(spooled); ++n) {
        ASSERT_EQ(seam::linetext(spooled, n), seam::linetext(memory, n)) << n;
        ASSERT_EQ(seam::linecolour(spooled, n), seam::linecolour(memory, n)) << n;
        ASSERT_EQ(seam::linefont(spooled, n), seam::linefont(memory, n)) << n;
    }
    EXPECT_EQ(seam::displayedrows(spooled), seam::displayedrows(memory));
    EXPECT_GT(seam::displayedrows(spooled), seam::linecount(spooled)) << "long lines wrap";
    // A change of width wraps the lines again from the file.
    spooled->setFixedWidth(250);
    memory->setFixedWidth(250);
    EXPECT_EQ(seam::displayedrows(spooled), seam::displayedrows(memory));
    EXPECT_GT(QFileInfo(spooled->spoolpath()).size(), 4 << 20);

    spooled->save(dir.filePath("spooled.rtf"));
    memory->save(dir.filePath("memory.rtf"));
    const QByteArray rtf = filebytes(dir.filePath("spooled.rtf"));
    EXPECT_GT(rtf.size(), 4 << 20);
    EXPECT_TRUE(rtf == filebytes(dir.filePath("memory.rtf")));
}

TEST_F(SpooledLog, VymazatStartsANewFileAndClosedWindowsLeaveNone) {
    LogView *mix = Form_RX_TX->RichEdit_mix;
    Session1->note("one line");
    const QString first = mix->spoolpath();
    ASSERT_TRUE(QFile::exists(first));
    EXPECT_EQ(spoolfiles().size(), 3) << "one per log window";
    Form_RX_TX->Button1->click();
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_TRUE(QFile::exists(mix->spoolpath()));
    EXPECT_EQ(spoolfiles().size(), 3);
    destroyforms();
    EXPECT_TRUE(spoolfiles().isEmpty());
    createforms(); // for TearDown
}

// After the spools failed: "Stavy a data" says so once for each log whose
// spool met the failure (the answers' log may not have written its first
// piece yet), with the reason, and every datagram's data line is there, in
// order.
void expectkeptinmemory(const char *reason) {
    const QStringList texts = seam::texts(Form_RX_TX->RichEdit_mix);
    const QStringList said = texts.filter("nemůže ukládat záznam na disk");
    ASSERT_GE(said.size(), 2) << said.join("\n").toStdString();
    for (const char *caption : {"\"Stavy a data\"", "\"Přijatá data\""})
        EXPECT_EQ(said.filter(caption).size(), 1) << caption;
    EXPECT_LE(said.filter("\"Odeslaná data\"").size(), 1);
    EXPECT_TRUE(said[0].contains(reason)) << said[0].toStdString();
    EXPECT_TRUE(Form_RX_TX->RichEdit_mix->spoolpath().isEmpty());
    int next = 0;
    for (const QString &text : texts) {
        if (text.startsWith("  DATA;") || text.startsWith("  <stx>DATA;")) {
            ASSERT_EQ(text.section(';', 1, 1).toInt(), next) << text.toStdString();
            ++next;
        }
    }
    EXPECT_GT(next, 5000);
    EXPECT_TRUE(seam::plaintext(Form_rxw->RichEdit_rx).contains(QString("DATA;%1;").arg(next - 1)));
}

TEST_F(SpooledLog, ASpoolThatCannotGrowKeepsEveryLineInMemoryWithOneRecord) {
    // A file size limit: each spool fails at 300 kB.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{300000, limit.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    openanswering();
    feed(30000, datagram);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    expectkeptinmemory("File too large");
}

// A cache folder that is a regular file: no spool can be made at all, and
// each log says so once, where the user reads it.
class NoSpoolFolder : public FormsTest {
protected:
    void SetUp() override {
        kept = LogView::spoolfolder;
        LogView::spoolfolder = writefile(spare.filePath("krovan"), "a file");
        FormsTest::SetUp();
    }
    void TearDown() override {
        FormsTest::TearDown();
        LogView::spoolfolder = kept;
    }
    QTemporaryDir spare;
    QString kept;
};

TEST_F(NoSpoolFolder, EachLogSaysItKeepsItsLinesInMemory) {
    // As in the program, the event loop runs before the first activation
    // loads the settings (the log boxes, the capture).
    waitfor([] { return false; }, 50);
    const QString capture = dir.filePath("capture.txt");
    writefile(Form1->settingsfile, "[Form_RX_TX]\r\nshow_stavy=1\r\n[Capture]\r\nfile=" +
                                       capture.toUtf8() + "\r\nactive=1\r\n");
    start();
    waitfor([] { return false; }, 50);
    const QStringList said =
        seam::texts(Form_RX_TX->RichEdit_mix).filter("nemůže ukládat záznam na disk");
    ASSERT_EQ(said.size(), 3) << said.join("\n").toStdString();
    Session1->stopcapture();
    QFile captured(capture);
    ASSERT_TRUE(captured.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(captured.readAll()).count("nemůže ukládat záznam na disk"), 3);
    EXPECT_TRUE(said[0].startsWith("Okno \"Stavy a data\" nemůže ukládat záznam na disk (" +
                                   LogView::spoolfolder))
        << said[0].toStdString();
    EXPECT_TRUE(said[0].endsWith("), vede ho v paměti"));
    Session1->note("still logged");
    EXPECT_EQ(seam::texts(Form_RX_TX->RichEdit_mix).last(), "still logged");
}

// The spools on a device that is full: ctest runs this in a mount namespace
// of its own with a 256 KiB tmpfs at $KROVAN_FULL_DEVICE (it needs root).
class FullDevice : public SpooledLog {
protected:
    void SetUp() override {
        kept = LogView::spoolfolder;
        LogView::spoolfolder = qEnvironmentVariable("KROVAN_FULL_DEVICE");
        ASSERT_FALSE(LogView::spoolfolder.isEmpty());
        SpooledLog::SetUp();
    }
    void TearDown() override {
        SpooledLog::TearDown();
        LogView::spoolfolder = kept;
    }
    QString kept;
};

TEST_F(FullDevice, DISABLED_KeepsEveryLineInMemoryWithOneRecord) {
    openanswering();
    feed(30000, datagram);
    expectkeptinmemory("No space left on device");
}

// --------------------------------------------------------------- find bar

class FindInLog : public SpooledLog {
protected:
    FindBar *bar() { return Form_RX_TX->findbar; }
    LogView *mix() { return Form_RX_TX->RichEdit_mix; }

    void write(const QStringList &lines) {
        for (const QString &line : lines)
            Session1->note(line);
    }
    // Types the text into the bar and waits for the whole log to be searched.
    QString find(const QString &text) {
        bar()->Edit_find->clear();
        seam::type(bar()->Edit_find, text);
        waitfor([&] { return !mix()->search().searching(); });
        QApplication::processEvents();
        return bar()->Label_find_count->text();
    }
    void press(Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(bar()->Edit_find, Qt::Key_Return, modifiers);
    }
    // The line (counted from the first written) and text of the selection.
    std::pair<std::int64_t, QString> found() {
        return {mix()->selectionstart().first - base, mix()->selectedtext()};
    }
    std::int64_t base = 0;
};

TEST_F(FindInLog, FindsTextsAndExpressionsCountsLinesAndGoesRoundAtTheEnds) {
    Form_RX_TX->show();
    base = mix()->lineCount();
    write({"alpha beta", "Beta gamma", "delta", "beta beta", "žluťoučký KŮŇ 42"});
    EXPECT_TRUE(bar()->isHidden());
    QApplication::setActiveWindow(Form_RX_TX);
    mix()->setFocus();
    QTest::keyClick(mix(), 'f', Qt::ControlModifier);
    ASSERT_TRUE(bar()->isVisible());
    EXPECT_TRUE(bar()->Edit_find->hasFocus());

    EXPECT_EQ(find("beta"), "3 nalezeno");
    press();
    EXPECT_EQ(found(), std::make_pair(std::int64_t(0), QString("beta")));
    press();
    EXPECT_EQ(found().first, 1);
    EXPECT_EQ(found().second, "Beta");
    press();
    press();
    EXPECT_EQ(found(), std::make_pair(std::int64_t(3), QString("beta")));
    EXPECT_EQ(mix()->selectionstart().second, 5) << "the second match in the line";
    press();
    EXPECT_EQ(found().first, 0) << "round from the last match to the first";
    press(Qt::ShiftModifier);
    EXPECT_EQ(found(), std::make_pair(std::int64_t(3), QString("beta")));
    EXPECT_EQ(mix()->selectionstart().second, 5) << "back round to the last match";
    bar()->Button_find_prev->click();
    EXPECT_EQ(mix()->selectionstart(), std::make_pair(base + 3, qsizetype(0)));

    bar()->CheckBox_find_case->setChecked(true);
    EXPECT_EQ(find("beta"), "2 nalezeno");
    EXPECT_EQ(find("kůň"), "nenalezeno");
    bar()->CheckBox_find_case->setChecked(false);
    EXPECT_EQ(find("kůň"), "1 nalezeno");
    QApplication::clipboard()->setText(QString(40000, 'x'));
    bar()->Edit_find->clear();
    QTest::keyClick(bar()->Edit_find, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(bar()->Edit_find->text().size(), 40000) << "a long paste is taken whole";

    bar()->CheckBox_find_regex->setChecked(true);
    EXPECT_EQ(find("^(beta|delta)$|ň \\d+"), "2 nalezeno");
    bar()->Button_find_next->click();
    EXPECT_EQ(found(), std::make_pair(std::int64_t(4), QString("Ň 42")));
    bar()->Button_find_next->click();
    EXPECT_EQ(found(), std::make_pair(std::int64_t(2), QString("delta")));
    EXPECT_NE(find("(unclosed"), "nenalezeno") << "the expression's error shows";
    EXPECT_FALSE(bar()->Label_find_count->text().isEmpty());
    press(); // nothing to find, nothing happens

    // "Vymazat" empties the log and the count.
    bar()->CheckBox_find_regex->setChecked(false);
    EXPECT_EQ(find("beta"), "3 nalezeno");
    Form_RX_TX->Button1->click();
    waitfor([] { return false; }, 50);
    EXPECT_EQ(bar()->Label_find_count->text(), "nenalezeno");

    QTest::keyClick(bar()->Edit_find, Qt::Key_Escape);
    EXPECT_TRUE(bar()->isHidden());
    EXPECT_EQ(mix()->search().found(), 0);
}

TEST_F(FindInLog, CountsLinesThatArriveWhileItSearches) {
    Form_RX_TX->show();
    openanswering();
    // A first stretch, so that the search has lines to go through.
    feed(60000, [](int i) {
        return i % 97 == 0 ? QByteArray("BAD ") + QByteArray::number(i) : datagram(i);
    });
    Form_RX_TX->Button_find->click();
    ASSERT_TRUE(bar()->isVisible());
    QTest::keyClicks(bar()->Edit_find, "bad ");
    // More arrive while it searches.
    for (int burst = 0; burst < 20; ++burst) {
        for (int k = 0; k < 50; ++k)
            sendtoprogram(k % 10 == 0 ? "bad one" : "fine");
        waitfor([] { return false; }, 20);
    }
    int lines = -1;
    ASSERT_TRUE(waitfor(
        [&] {
            const int now = seam::linecount(mix());
            return std::exchange(lines, now) == now && !mix()->search().searching();
        },
        10000));
    waitfor([] { return false; }, 300);
    ASSERT_EQ(seam::linecount(mix()), lines) << "every datagram logged";
    const auto expected = seam::texts(mix()).filter("bad ", Qt::CaseInsensitive).size();
    EXPECT_GE(expected, 60000 / 4 / 97 + 100);
    EXPECT_EQ(bar()->Label_find_count->text(), QString("%1 nalezeno").arg(expected));
}

// An expression that backtracks without end on most lines: typing it and
// the search that follows leave the window its turns, the lines it gave up
// on counted once.
TEST_F(FindInLog, ACatastrophicExpressionNeverHoldsTheWindow) {
    Form_RX_TX->show();
    QStringList lines(1000, QString(40, 'a'));
    lines << "aa!"
          << "50 %";
    write(lines);
    Form_RX_TX->Button_find->click();
    bar()->CheckBox_find_regex->setChecked(true);
    QElapsedTimer clock;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, clock.restart()); });
    ticker.start(5);
    clock.start();
    seam::type(bar()->Edit_find, "(a|a)*[%!]");
    ASSERT_TRUE(waitfor([&] { return !mix()->search().searching(); }, 30000));
    QApplication::processEvents();
    EXPECT_LT(longest, 100) << "ms between two of the window's turns";
    const auto matching = seam::texts(mix()).filter(QRegularExpression("[%!]")).size();
    EXPECT_EQ(bar()->Label_find_count->text(),
              QString("%1 nalezeno, výraz je příliš složitý pro 1000 řádků").arg(matching));
}

// A data window's line runs on from datagram to datagram: a match that
// only its later pieces complete is found.
TEST_F(FindInLog, FindsWhatALineThatRunsOnCompletes) {
    Form_rxw->show();
    FindBar *rxbar = Form_rxw->findbar;
    openanswering();
    Form_rxw->Button_find->click();
    seam::type(rxbar->Edit_find, "needle");
    // The second piece completes the first line and starts another.
    for (const QByteArray piece : {"hay nee", "dle hay\rneedle", "\rneed"}) {
        sendtoprogram(piece);
        ASSERT_TRUE(waitfor([&] {
            return seam::plaintext(Form_rxw->RichEdit_rx)
                .replace('\n', '\r')
                .endsWith(QString(piece).mid(1));
        }));
        waitfor([] { return false; }, 50); // the next repaint searches what came
    }
    EXPECT_EQ(rxbar->Label_find_count->text(), "2 nalezeno");
}

} // namespace
