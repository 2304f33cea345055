#include "forms_fixture.h"

#include "log_seam.h"
#include "log_view.h"
#include "received_window.h"
#include "sent_window.h"
#include "session.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

using namespace std::string_literals;

namespace {

const LineStyle header{QColor(0, 0, 0), "MS Sans Serif"};
const LineStyle red{QColor(255, 0, 0), "Courier"};
const LineStyle blue{QColor(0, 0, 255), "Courier"};
const QString timepattern = "(1?[0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]";

std::vector<LogLine> mixlines() {
    return seam::lines(Form_RX_TX->RichEdit_mix);
}

QStringList texts(LogView *view) {
    return seam::texts(view);
}

// The line count as the label shows it: it takes the count when the log
// repaints, within 16 ms.
QString shownlines() {
    QTest::qWait(40);
    return Form_RX_TX->Label_lines->text();
}

void check(std::initializer_list<QCheckBox *> boxes) {
    for (QCheckBox *box : boxes)
        box->setChecked(true);
}

void expectline(const LogLine &line, const QString &text, const LineStyle &style) {
    EXPECT_EQ(line.text, text);
    EXPECT_EQ(line.style, style) << text.toStdString();
}

void expectheader(const LogLine &line, const QString &afterTime) {
    const QRegularExpression pattern("^" + timepattern + " " +
                                     QRegularExpression::escape(afterTime) + "$");
    EXPECT_TRUE(pattern.match(line.text).hasMatch()) << line.text.toStdString();
    EXPECT_EQ(line.style, header);
}

} // namespace

class StatesWindow : public FormsTest {
protected:
    TForm_RX_TX *form = nullptr;

    void SetUp() override {
        FormsTest::SetUp();
        form = Form_RX_TX;
        form->resize(700, 400);
        form->show();
        QApplication::processEvents();
    }

    void received(const std::string &block, const QString &address = QString(),
                  const QString &macros = QString()) {
        form->logdata(Direction::Received, block, address, macros);
    }
};

TEST_F(StatesWindow, HasItsControlsWithTheirCaptions) {
    EXPECT_EQ(find<LogView>(form, "RichEdit_mix"), form->RichEdit_mix);
    EXPECT_EQ(form->RichEdit_mix->font().family(), "MS Sans Serif");
    EXPECT_EQ(form->RichEdit_mix->font().pointSize(), 8);

    QStringList numbers;
    for (int i = 1; i <= 99; ++i)
        numbers << QString::asprintf("%02d", i);
    auto *ruler = find<QLabel>(form, "Label1");
    EXPECT_EQ(ruler->text(), numbers.join(' '));
    EXPECT_TRUE(ruler->text().startsWith("01 02 03 ") && ruler->text().endsWith(" 98 99"));
    EXPECT_EQ(ruler->font().family(), "Courier");
    EXPECT_EQ(find<QLabel>(form, "Label_lines")->text(), "0");
    EXPECT_EQ(find<QPushButton>(form, "Button1")->text(), "Vymazat");
    EXPECT_EQ(find<QPushButton>(form, "Button_save")->text(), "Uložit");

    const std::pair<const char *, QString> boxes[] = {
        {"CheckBox_rx", "Přijatá data"},    {"CheckBox_tx", "Odeslaná data"},
        {"CheckBox_makro", "Volaná makra"}, {"CheckBox_stavy", "Stavy"},
        {"CheckBox_time", "Čas"},           {"CheckBox_adr", "Adresa"},
        {"CheckBox_hex", "Šestnáctkově"}};
    for (const auto &[name, caption] : boxes) {
        auto *box = find<QCheckBox>(form, name);
        EXPECT_EQ(box->text(), caption);
        EXPECT_FALSE(box->isChecked()) << name;
    }
}

TEST_F(StatesWindow, ControlsKeepTheirPlacesAtTheBottomEdge) {
    const auto top = [&](QWidget *w) { return w->mapTo(form, QPoint(0, 0)).y(); };
    const auto left = [&](QWidget *w) { return w->mapTo(form, QPoint(0, 0)).x(); };
    // Upper row: received, sent, macros, states; lower row: time, address, hex.
    for (QCheckBox *box : {form->CheckBox_tx, form->CheckBox_makro, form->CheckBox_stavy})
        EXPECT_EQ(top(box), top(form->CheckBox_rx));
    for (QCheckBox *box : {form->CheckBox_adr, form->CheckBox_hex})
        EXPECT_EQ(top(box), top(form->CheckBox_time));
    EXPECT_GT(top(form->CheckBox_time), top(form->CheckBox_rx));
    EXPECT_LT(left(form->CheckBox_rx), left(form->CheckBox_tx));
    EXPECT_LT(left(form->CheckBox_tx), left(form->CheckBox_makro));
    EXPECT_LT(left(form->CheckBox_makro), left(form->CheckBox_stavy));
    EXPECT_LT(left(form->CheckBox_time), left(form->CheckBox_adr));
    EXPECT_LT(left(form->CheckBox_adr), left(form->CheckBox_hex));
    // The ruler under the log, the boxes under the ruler, the buttons at the
    // bottom right with the count above "Vymazat".
    EXPECT_GE(top(form->Label1), top(form->RichEdit_mix) + form->RichEdit_mix->height());
    EXPECT_GT(top(form->CheckBox_rx), top(form->Label1));
    EXPECT_LT(left(form->Button_save), left(form->Button1));
    EXPECT_EQ(top(form->Button_save), top(form->Button1));
    EXPECT_LT(top(form->Label_lines), top(form->Button1));
    EXPECT_GT(left(form->Button1), form->width() / 2);
    // The long ruler does not hold the window wide.
    EXPECT_LT(form->minimumSizeHint().width(), 600);

    const int fromBottom = form->height() - top(form->Button1);
    const int boxFromBottom = form->height() - top(form->CheckBox_time);
    const int logHeight = form->RichEdit_mix->height();
    form->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(form->height() - top(form->Button1), fromBottom);
    EXPECT_EQ(form->height() - top(form->CheckBox_time), boxFromBottom);
    EXPECT_EQ(form->RichEdit_mix->height(), logHeight + 200);
}

TEST_F(StatesWindow, RecordsOfBothDirectionsAsInTheExamples) {
    check({form->CheckBox_rx, form->CheckBox_tx, form->CheckBox_time, form->CheckBox_adr,
           form->CheckBox_hex});
    received("AB\r", "z: 10.0.0.5:5000 ", "/ Volá makro: data k odeslání ");
    EXPECT_EQ(form->RichEdit_mix->style(), red);
    form->logdata(Direction::Sent, "AB\r", "na: COM3 ", QString());
    EXPECT_EQ(form->RichEdit_mix->style(), blue);

    const auto lines = mixlines();
    ASSERT_EQ(lines.size(), 6u);
    expectheader(lines[0], "Přijal data z: 10.0.0.5:5000 / Volá makro: data k odeslání :");
    expectline(lines[1], "  AB<cr>", red);
    expectline(lines[2], "  41 42 0D", red);
    expectheader(lines[3], "Odeslal data na: COM3 :");
    expectline(lines[4], "  AB<cr>", blue);
    expectline(lines[5], "  41 42 0D", blue);
}

TEST_F(StatesWindow, OnlyTheDirectionBoxGivesAPlainHeaderAndNoHexLine) {
    check({form->CheckBox_rx});
    received("AB\r");
    const auto lines = mixlines();
    ASSERT_EQ(lines.size(), 2u);
    expectline(lines[0], "Přijal data :", header);
    expectline(lines[1], "  AB<cr>", red);

    // The sent box is unchecked: a sent record writes nothing here.
    form->logdata(Direction::Sent, "xyz", "na: COM3 ", QString());
    EXPECT_EQ(mixlines().size(), 2u);
}

TEST_F(StatesWindow, EmptyBlockAndSpecialBytes) {
    check({form->CheckBox_rx, form->CheckBox_tx, form->CheckBox_hex});
    received("");
    form->logdata(Direction::Sent, "\0\x7F\xFF"s, QString(), QString());
    const auto lines = mixlines();
    ASSERT_EQ(lines.size(), 6u);
    expectline(lines[0], "Přijal data :", header);
    expectline(lines[1], "  ", red);
    expectline(lines[2], " ", red);
    expectline(lines[3], "Odeslal data :", header);
    // 255 is the Windows-1250 dot above.
    expectline(lines[4], QString("  <nul>") + QChar(0x7F) + QChar(0x02D9), blue);
    expectline(lines[5], "  00 7F FF", blue);
}

TEST_F(StatesWindow, ARecordReachesItsDataWindowWhateverTheBoxesSay) {
    Form_rxw->ComboBox_format->setCurrentIndex(2);
    Form_txw->ComboBox_format->setCurrentIndex(2);
    Session1->record(Direction::Received, "A\x01", "10.0.0.5:5000");
    Session1->record(Direction::Sent, "B", "COM3");
    EXPECT_TRUE(form->RichEdit_mix->empty());
    EXPECT_EQ(form->Label_lines->text(), "0");
    EXPECT_EQ(texts(Form_rxw->RichEdit_rx), QStringList({"", "A<soh>"}));
    EXPECT_EQ(texts(Form_txw->RichEdit_tx), QStringList({"", "B"}));

    // Hex modes get the hex text only while "Šestnáctkově" is checked; the
    // log and the data window show the same texts of one record.
    Form_rxw->ComboBox_format->setCurrentIndex(4);
    Session1->record(Direction::Received, "A", "10.0.0.5:5000");
    form->CheckBox_hex->setChecked(true);
    form->CheckBox_rx->setChecked(true);
    Session1->record(Direction::Received, "A\xFF", "10.0.0.5:5000");
    EXPECT_EQ(texts(Form_rxw->RichEdit_rx), QStringList({"", "A<soh>", "", " 41 FF"}));
    EXPECT_EQ(mixlines().back().text, "  41 FF");
}

TEST_F(StatesWindow, StateLinesOnlyWhileStavyIsChecked) {
    form->addstate("Připojeno");
    EXPECT_TRUE(form->RichEdit_mix->empty());
    form->CheckBox_stavy->setChecked(true);
    check({form->CheckBox_rx});
    received("x");
    form->addstate("Odpojeno");
    const auto lines = mixlines();
    ASSERT_EQ(lines.size(), 3u);
    expectline(lines[2], "Odpojeno", header);
    // State lines leave the count where the last record put it.
    EXPECT_EQ(shownlines(), "2");
}

TEST_F(StatesWindow, ErrorLinesAreWrittenWhateverTheBoxesSay) {
    form->adderror("CHYBA: Žádné aktivní připojení", "MS Sans Serif");
    check({form->CheckBox_tx});
    form->logdata(Direction::Sent, "x", QString(), QString());
    // Without a font the error keeps the font the log writes in: Courier
    // after a record.
    form->adderror("CHYBA: Nepovedlo se odeslat.");
    const auto lines = mixlines();
    ASSERT_EQ(lines.size(), 4u);
    expectline(lines[0], "CHYBA: Žádné aktivní připojení", header);
    expectline(lines[3], "CHYBA: Nepovedlo se odeslat.", LineStyle{Qt::black, "Courier"});
    // The count is the one the record left: the error before it included.
    EXPECT_EQ(shownlines(), "3");
}

TEST_F(StatesWindow, LineCountFollowsRecordsAndClearing) {
    check({form->CheckBox_rx, form->CheckBox_hex, form->CheckBox_stavy});
    received("abc");
    EXPECT_EQ(shownlines(), "3");
    received("def");
    EXPECT_EQ(shownlines(), "6");

    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_TRUE(form->RichEdit_mix->empty());
    EXPECT_EQ(shownlines(), "0");
    form->addstate("Připojeno");
    EXPECT_EQ(shownlines(), "0");
    EXPECT_EQ(texts(form->RichEdit_mix), QStringList{"Připojeno"});
}

TEST_F(StatesWindow, LineCountCountsWrappedRows) {
    form->resize(300, 400);
    QApplication::processEvents();
    check({form->CheckBox_rx, form->CheckBox_hex});
    received(std::string(200, 'A'));
    // The 600-character hex line does not fit into one row.
    const int shown = shownlines().toInt();
    EXPECT_GT(shown, 3);
    EXPECT_EQ(shown, seam::displayedrows(form->RichEdit_mix));
}

TEST_F(StatesWindow, NewestLineStaysInView) {
    check({form->CheckBox_rx, form->CheckBox_tx});
    for (int i = 0; i < 100; ++i)
        received("record " + std::to_string(i));
    // The view follows with its next repaint, within 16 ms.
    QScrollBar *bar = form->RichEdit_mix->verticalScrollBar();
    QTest::qWait(40);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    // Scrolled away by the user, the view comes back with the next record.
    bar->setValue(0);
    received("one more");
    const int before = bar->maximum();
    QTest::qWait(40);
    EXPECT_GT(bar->maximum(), before);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// Every log writes the time its entry was made, as the capture does, not
// the time it renders the entry: the two agree on every second.
TEST_F(StatesWindow, RecordsShowTheirEntrysOwnTime) {
    check({form->CheckBox_rx, form->CheckBox_time});
    Form_rxw->CheckBox_time->setChecked(true);
    LogEntry entry;
    entry.kind = LogEntry::Kind::Record;
    entry.direction = Direction::Received;
    entry.bytes = "x";
    entry.time = QDateTime(QDate(2026, 3, 4), QTime(9, 5, 7, 999)).toMSecsSinceEpoch();
    form->write(entry);
    Form_rxw->write(entry);
    showmilliseconds = true;
    entry.time += 2;
    form->write(entry);
    showmilliseconds = false;
    EXPECT_EQ(texts(form->RichEdit_mix).filter("Přijal data"),
              (QStringList{"9:05:07 Přijal data :", "9:05:08.001 Přijal data :"}));
    EXPECT_EQ(texts(Form_rxw->RichEdit_rx).filter(">"), QStringList{"9:05:07>x"});
}
