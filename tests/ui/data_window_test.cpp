#include "forms_fixture.h"

#include "block_text.h"
#include "bytes_text.h"
#include "log_seam.h"
#include "log_view.h"
#include "log_wrap.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace std::string_literals;

namespace {

const QString timepattern = "^(1?[0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]>";

enum Format { Formatted, Invisible, InvisibleByBlocks, Hex, HexByBlocks };

struct Window {
    const char *name;
    const char *view;
    const char *savebutton;
    QColor colour;
};

void PrintTo(const Window &window, std::ostream *out) {
    *out << window.name;
}

} // namespace

// Both data windows behave alike; every case runs on each.
class DataWindow : public FormsTest, public ::testing::WithParamInterface<Window> {
protected:
    TDataWindow *form = nullptr;
    LogView *view = nullptr;

    void SetUp() override {
        FormsTest::SetUp();
        form = QString(GetParam().name) == "Form_rxw" ? static_cast<TDataWindow *>(Form_rxw)
                                                      : static_cast<TDataWindow *>(Form_txw);
        view = form->findChild<LogView *>(GetParam().view);
        ASSERT_NE(view, nullptr);
    }

    // A block as logdata hands it on, with the hex text built.
    void block(const std::string &bytes, bool withhex = true) {
        form->appendblock(bytes, fromBytes(printabletext(bytes)),
                          withhex ? QString::fromLatin1(hextext(bytes)) : QString());
    }

    QStringList lines() const { return seam::texts(view); }

    void format(Format index) { form->ComboBox_format->setCurrentIndex(index); }
};

TEST_P(DataWindow, HasItsControls) {
    EXPECT_EQ(view->font().family(), "Courier");
    EXPECT_EQ(view->font().pointSize(), 8);
    auto *formats = find<QComboBox>(form, "ComboBox_format");
    EXPECT_FALSE(formats->isEditable());
    EXPECT_EQ(formats->width(), 193);
    ASSERT_EQ(formats->count(), 5);
    const QStringList items = {"Formátovat", "Neviditelné znaky", "Neviditelné znaky podle bloků",
                               "Šestnáctkově", "Šestnáctkově podle bloků"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(formats->itemText(i), items[i]);
    EXPECT_EQ(formats->currentIndex(), 0);
    auto *time = find<QCheckBox>(form, "CheckBox_time");
    EXPECT_EQ(time->text(), "Čas");
    EXPECT_FALSE(time->isChecked());
    EXPECT_EQ(find<QPushButton>(form, "Button1")->text(), "Vymazat");
    EXPECT_EQ(find<QPushButton>(form, GetParam().savebutton)->text(), "Uložit");

    // One row along the bottom: format and time at the left, the buttons at
    // the right, "Uložit" before "Vymazat".
    form->resize(500, 300);
    form->show();
    QApplication::processEvents();
    auto *save = find<QPushButton>(form, GetParam().savebutton);
    EXPECT_LT(formats->x(), time->x());
    EXPECT_LT(time->x(), save->x());
    EXPECT_LT(save->x(), form->Button1->x());
    EXPECT_GT(formats->y(), view->y() + view->height() - 1);
    const int fromBottom = form->height() - form->Button1->y();
    form->resize(600, 500);
    QApplication::processEvents();
    EXPECT_EQ(form->height() - form->Button1->y(), fromBottom);
}

TEST_P(DataWindow, BlocksAreWrittenInTheWindowsColour) {
    format(InvisibleByBlocks);
    block("AB");
    for (const LogLine &line : seam::lines(view))
        EXPECT_EQ(line.style, (LineStyle{GetParam().colour, "Courier"}));
}

TEST_P(DataWindow, FormattedBreaksLinesAtCrAndLf) {
    block("AB\r\nCD");
    EXPECT_EQ(lines(), QStringList({"AB", "CD"}));
    // Consecutive blocks run on in the same line.
    block("EF");
    EXPECT_EQ(lines(), QStringList({"AB", "CDEF"}));
    // CR alone and LF alone break once each; LF CR leaves one empty line.
    block("\rG\nH\n\rI");
    EXPECT_EQ(lines(), QStringList({"AB", "CDEF", "G", "H", "", "I"}));
    // A block ending in CR leaves an empty last line to run on.
    block("J\r");
    block("K");
    EXPECT_EQ(lines(), QStringList({"AB", "CDEF", "G", "H", "", "IJ", "K"}));
}

TEST_P(DataWindow, ALineThatRunsOnWrapsAsItsWholeText) {
    form->show();
    for (int i = 0; i < 80; ++i)
        block("slovo" + std::to_string(i) + (i % 7 == 0 ? " \xE8\xE8 " : " "));
    block("\r" + std::string(300, 'x') + "\r");
    const FontAdvances font(QFont(view->lineFont(0), 8));
    int counted = 0;
    for (int n = 0; n < view->lineCount(); ++n)
        counted += int(rowstarts(font, view->lineText(n), view->wrapwidth()).size());
    EXPECT_GT(counted, view->lineCount() + 2); // both long lines wrap
    EXPECT_EQ(view->rows(), counted);
}

TEST_P(DataWindow, FormattedDropsOtherControlBytesAndKeepsTheRest) {
    block("\nA");
    EXPECT_EQ(lines(), QStringList{"A"});
    block("\x01\0B\x1F\x7F\xE8"s);
    EXPECT_EQ(lines(), QStringList{QString("AB") + QChar(0x7F) + QChar(0x010D)});
}

TEST_P(DataWindow, InvisibleRunsOnWithNamedControlBytes) {
    format(Invisible);
    block("A\0B"s);
    block("\r\n");
    EXPECT_EQ(lines(), QStringList{"A<nul>B<cr><lf>"});
}

TEST_P(DataWindow, InvisibleByBlocksPutsEachBlockOnItsOwnLine) {
    format(InvisibleByBlocks);
    block("A\0B"s);
    block("C");
    // The first line is the empty one every log starts with.
    EXPECT_EQ(lines(), QStringList({"", "A<nul>B", "C"}));
}

TEST_P(DataWindow, HexRunsOnAndHexByBlocksBreaks) {
    format(Hex);
    block("\x01\xFF");
    block("A");
    EXPECT_EQ(lines(), QStringList{" 01 FF 41"});
    format(HexByBlocks);
    block("\x01\xFF");
    EXPECT_EQ(lines(), QStringList({" 01 FF 41", " 01 FF"}));
}

TEST_P(DataWindow, WithoutTheHexTextTheHexFormatsShowNothing) {
    format(Hex);
    block("AB", false);
    EXPECT_EQ(lines(), QStringList{""});
    format(HexByBlocks);
    block("AB", false);
    block("CD", false);
    EXPECT_EQ(lines(), QStringList({"", "", ""}));
}

TEST_P(DataWindow, AnEmptyBlockAddsALineOnlyInTheBlockFormats) {
    for (Format running : {Formatted, Invisible, Hex}) {
        format(running);
        block("");
        EXPECT_EQ(lines(), QStringList{""}) << running;
    }
    format(InvisibleByBlocks);
    block("");
    format(HexByBlocks);
    block("");
    EXPECT_EQ(lines(), QStringList({"", "", ""}));
}

TEST_P(DataWindow, TimeLinePrecedesEveryBlock) {
    form->CheckBox_time->setChecked(true);
    const QRegularExpression time(timepattern + "$");
    const QRegularExpression timeAB(timepattern + "AB$");

    block("AB");
    QStringList got = lines();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0], "");
    EXPECT_TRUE(timeAB.match(got[1]).hasMatch()) << got[1].toStdString();

    format(InvisibleByBlocks);
    block("AB");
    format(HexByBlocks);
    block("AB");
    format(Hex);
    block("");
    got = lines();
    ASSERT_EQ(got.size(), 7);
    EXPECT_TRUE(time.match(got[2]).hasMatch()) << got[2].toStdString();
    EXPECT_EQ(got[3], "AB");
    EXPECT_TRUE(time.match(got[4]).hasMatch());
    EXPECT_EQ(got[5], " 41 42");
    EXPECT_TRUE(time.match(got[6]).hasMatch());
}

TEST_P(DataWindow, NoSelectedFormatWritesOnlyTheStartAndTime) {
    form->ComboBox_format->setCurrentIndex(-1);
    block("AB");
    EXPECT_EQ(lines(), QStringList{""});
    form->CheckBox_time->setChecked(true);
    block("AB");
    ASSERT_EQ(lines().size(), 2);
    EXPECT_TRUE(QRegularExpression(timepattern + "$").match(lines()[1]).hasMatch());
}

TEST_P(DataWindow, VymazatStartsAFreshFirstLine) {
    block("AB");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_TRUE(view->empty());
    block("CD");
    EXPECT_EQ(lines(), QStringList{"CD"});
}

INSTANTIATE_TEST_SUITE_P(
    BothWindows, DataWindow,
    ::testing::Values(Window{"Form_rxw", "RichEdit_rx", "Button_Save", QColor(255, 0, 0)},
                      Window{"Form_txw", "RichEdit_tx", "Button_save", QColor(0, 0, 255)}),
    [](const auto &info) { return std::string(info.param.name); });
