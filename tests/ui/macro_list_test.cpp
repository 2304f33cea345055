#include "lists_fixture.h"
#include <QLineEdit>
#include <QStyle>

namespace {

class MacroList : public ListsTest {
protected:
    void addrows(int count) {
        while (Form_TX->tx_count < count)
            click(Form_TX->Button_new_tx);
    }

    // Three rows described A, B and C, with data a, b, c.
    void abc() {
        addrows(3);
        const char *const names[] = {"A", "B", "C"};
        for (int n = 1; n <= 3; ++n) {
            tx(n)->Edit_popis->setText(names[n - 1]);
            tx(n)->Edit_data->setText(QString(names[n - 1]).toLower());
        }
    }

    static QStringList descriptions() {
        QStringList texts;
        for (int n = 1; n <= Form_TX->tx_count; ++n)
            texts << tx(n)->Edit_popis->text();
        return texts;
    }

    static void repeat(TFrame_tx *row, const char *period) {
        row->Edit_interval->setText(period);
        click(row->CheckBox1);
    }

    static bool repeating(TFrame_tx *row, int period) {
        return row->CheckBox1->isChecked() && row->Timer1->enabled() && row->Timer1->isActive() &&
               row->Timer1->interval() == period && !row->Edit_interval->isEnabled();
    }

    static bool idle(TFrame_tx *row) {
        return !row->CheckBox1->isChecked() && !row->Timer1->enabled() &&
               !row->Timer1->isActive() && row->Edit_interval->isEnabled();
    }

    static QString selected() { return highlighted(Form_TX->tx_frames, Form_TX->tx_count); }
};

TEST_F(MacroList, StartsWithOneNewRowSelected) {
    EXPECT_EQ(Form_TX->tx_count, 1);
    ASSERT_NE(tx(1), nullptr);
    EXPECT_EQ(tx(1), Form_TX->findChild<TFrame_tx *>("tx_frame_1"));
    EXPECT_EQ(tx(1)->number, 1);
    EXPECT_EQ(tx(1)->Edit_popis->text(), "tx_1");
    EXPECT_EQ(tx(1)->Edit_data->text(), "data_1");
    EXPECT_EQ(tx(1)->Edit_interval->text(), "1000");
    EXPECT_FALSE(tx(1)->CheckBox_hex->isChecked());
    EXPECT_TRUE(idle(tx(1)));
    EXPECT_EQ(tx(1)->Button_send->text(), "Odeslat");
    EXPECT_EQ(Form_TX->tx_selected, 1);
    EXPECT_EQ(selected(), "x");
    EXPECT_EQ(Form_TX->maximumHeight(), 123);
    EXPECT_EQ(Form_TX->height(), 123);
}

TEST_F(MacroList, RowControlsKeepTheirPlacesAndOnlyTheDataWidens) {
    TFrame_tx *row = tx(1);
    QWidget *rows = row->parentWidget();
    EXPECT_EQ(row->geometry(), QRect(0, 0, rows->width(), 23));
    EXPECT_EQ(rows->parentWidget(), Form_TX->Frame_TX_main1->viewport());

    const int before = row->width();
    Form_TX->resize(Form_TX->width() + 100, Form_TX->height());
    QApplication::processEvents();
    ASSERT_EQ(row->width(), before + 100);
    const int grown = row->width() - 404;
    EXPECT_EQ(row->Edit_popis->geometry(), QRect(8, 1, 81, 21));
    EXPECT_EQ(row->Edit_data->geometry(), QRect(96, 1, 132 + grown, 21));
    EXPECT_EQ(row->CheckBox_hex->geometry(), QRect(235 + grown, 3, 12, 17));
    EXPECT_EQ(row->Button_send->geometry(), QRect(251 + grown, 1, 57, 21));
    EXPECT_EQ(row->Edit_interval->geometry(), QRect(315 + grown, 1, 62, 21));
    // A period of eight digits shows whole: the text, the frame and the
    // field's margin of 2 on each side.
    const QLineEdit *period = row->Edit_interval;
    const int frame = period->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    EXPECT_LE(period->fontMetrics().horizontalAdvance("12345678") + 2 * frame + 4, period->width());
    EXPECT_EQ(row->CheckBox1->geometry(), QRect(384 + grown, 3, 17, 17));
}

// Tabbing through a row runs each control's focus handler, which selects
// the row even while another row is selected.
TEST_F(MacroList, EveryControlTakingTheFocusSelectsItsRowInTabOrder) {
    addrows(2);
    activate(Form_TX);
    TFrame_tx *row = tx(1);
    const std::vector<QWidget *> order = {row->Edit_data, row->Edit_interval, row->Button_send,
                                          row->CheckBox1, row->Edit_popis,    row->CheckBox_hex};
    row->Edit_data->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(Form_TX->tx_selected, 1);
    for (size_t i = 1; i < order.size(); ++i) {
        clickbackground(tx(2));
        ASSERT_EQ(Form_TX->tx_selected, 2);
        EXPECT_EQ(selected(), "-x");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << order[i]->objectName().toStdString();
        EXPECT_EQ(Form_TX->tx_selected, 1) << order[i]->objectName().toStdString();
        EXPECT_EQ(selected(), "x-");
    }
}

TEST_F(MacroList, NewRowTakesTheNextNumberAndLeavesTheSelection) {
    click(Form_TX->Button_new_tx);
    ASSERT_EQ(Form_TX->tx_count, 2);
    TFrame_tx *row = tx(2);
    EXPECT_EQ(row->objectName(), "tx_frame_2");
    EXPECT_EQ(row->number, 2);
    EXPECT_EQ(row->Edit_popis->text(), "tx_2");
    EXPECT_EQ(row->Edit_data->text(), "data_2");
    EXPECT_EQ(row->Edit_interval->text(), "1000");
    EXPECT_TRUE(idle(row));
    EXPECT_EQ(row->geometry(), QRect(0, 23, tx(1)->width(), 23));
    EXPECT_EQ(Form_TX->tx_selected, 1);
    EXPECT_EQ(selected(), "x-");
}

TEST_F(MacroList, WindowGrowsPerRowUntil500AndNeverExceedsItsRows) {
    std::vector<int> heights;
    for (int count = 2; count <= 20; ++count) {
        click(Form_TX->Button_new_tx);
        EXPECT_EQ(Form_TX->maximumHeight(), count * 23 + 100);
        heights.push_back(Form_TX->height());
    }
    EXPECT_EQ(heights[0], 146);
    EXPECT_EQ(heights[15], 123 + 16 * 23); // 491: still below 500, grows once more
    EXPECT_EQ(heights[16], 514);
    EXPECT_EQ(heights[17], 514);
    EXPECT_EQ(heights[18], 514);

    Form_TX->selectrow(20);
    while (Form_TX->tx_count > 5)
        click(Form_TX->Button_del_tx);
    EXPECT_EQ(Form_TX->maximumHeight(), 215);
    EXPECT_EQ(Form_TX->height(), 215);
}

TEST_F(MacroList, NewRowLandsBelowTheLastWhileScrolled) {
    addrows(12);
    Form_TX->resize(Form_TX->width(), 150);
    QApplication::processEvents();
    QScrollBar *bar = Form_TX->Frame_TX_main1->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    QApplication::processEvents();

    click(Form_TX->Button_new_tx);
    QApplication::processEvents();
    QWidget *viewport = Form_TX->Frame_TX_main1->viewport();
    EXPECT_EQ(tx(13)->y(), 12 * 23);
    const int last = tx(12)->mapTo(viewport, QPoint(0, 0)).y();
    EXPECT_GT(last, 0); // row 12 is not at the top of the visible area
    EXPECT_EQ(tx(13)->mapTo(viewport, QPoint(0, 0)).y(), last + 23);
    bar->setValue(bar->maximum());
    EXPECT_EQ(bar->maximum(), 13 * 23 - viewport->height());
}

TEST_F(MacroList, HundredRowsAtMostWithoutAMessage) {
    addrows(100);
    ASSERT_EQ(Form_TX->tx_count, 100);
    click(Form_TX->Button_new_tx);
    EXPECT_EQ(Form_TX->tx_count, 100);
    EXPECT_EQ(Form_TX->findChildren<TFrame_tx *>().size(), 100);
    EXPECT_EQ(Form_TX->maximumHeight(), 2400);
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(MacroList, DeletingKeepsPositionOrMovesToTheNewLastRow) {
    abc();
    Form_TX->selectrow(2);
    click(Form_TX->Button_del_tx);
    EXPECT_EQ(descriptions(), QStringList({"A", "C"}));
    EXPECT_EQ(tx(2)->Edit_data->text(), "c");
    EXPECT_EQ(Form_TX->tx_selected, 2);
    EXPECT_EQ(selected(), "-x");
    EXPECT_EQ(Form_TX->findChild<TFrame_tx *>("tx_frame_3"), nullptr);
    EXPECT_EQ(Form_TX->tx_frames[3], nullptr);
    EXPECT_EQ(Form_TX->maximumHeight(), 146);

    click(Form_TX->Button_new_tx);
    tx(2)->Edit_popis->setText("B");
    tx(3)->Edit_popis->setText("C");
    Form_TX->selectrow(3);
    click(Form_TX->Button_del_tx);
    EXPECT_EQ(descriptions(), QStringList({"A", "B"}));
    EXPECT_EQ(Form_TX->tx_selected, 2);
    EXPECT_EQ(selected(), "-x");
}

TEST_F(MacroList, NewRowAfterADeletionReusesTheFreedNumber) {
    abc();
    Form_TX->selectrow(1);
    click(Form_TX->Button_del_tx);
    click(Form_TX->Button_new_tx);
    ASSERT_EQ(Form_TX->tx_count, 3);
    EXPECT_EQ(tx(3)->objectName(), "tx_frame_3");
    EXPECT_EQ(tx(3)->number, 3);
    EXPECT_EQ(descriptions(), QStringList({"B", "C", "tx_3"}));
    EXPECT_EQ(Form_TX->findChildren<TFrame_tx *>().size(), 3);
}

TEST_F(MacroList, OperationsAtTheEdgesDoNothing) {
    click(Form_TX->Button_del_tx);
    EXPECT_EQ(Form_TX->tx_count, 1);
    abc();
    Form_TX->selectrow(1);
    click(Form_TX->Button_tx_up);
    Form_TX->selectrow(3);
    click(Form_TX->Button_tx_down);
    EXPECT_EQ(descriptions(), QStringList({"A", "B", "C"}));
    EXPECT_EQ(Form_TX->tx_selected, 3);
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(MacroList, MovingUpCarriesContentsAndTheRepeatThatGoesOnThere) {
    abc();
    activate(Form_TX);
    tx(2)->CheckBox_hex->setChecked(true);
    repeat(tx(2), "20");
    ASSERT_TRUE(repeating(tx(2), 20));
    ASSERT_EQ(Form_TX->tx_selected, 2); // the click on the box selected it

    click(Form_TX->Button_tx_up);
    EXPECT_EQ(descriptions(), QStringList({"B", "A", "C"}));
    EXPECT_EQ(tx(1)->Edit_data->text(), "b");
    EXPECT_EQ(tx(1)->Edit_interval->text(), "20");
    EXPECT_EQ(tx(2)->Edit_interval->text(), "1000");
    EXPECT_TRUE(tx(1)->CheckBox_hex->isChecked());
    EXPECT_FALSE(tx(2)->CheckBox_hex->isChecked());
    EXPECT_TRUE(repeating(tx(1), 20));
    EXPECT_TRUE(idle(tx(2)));
    EXPECT_EQ(Form_TX->tx_selected, 1);
    EXPECT_EQ(selected(), "x--");

    QSignalSpy moved(tx(1)->Timer1, &QTimer::timeout);
    QSignalSpy left(tx(2)->Timer1, &QTimer::timeout);
    EXPECT_TRUE(moved.wait(1000));
    EXPECT_EQ(left.count(), 0);
}

TEST_F(MacroList, MovingDownBetweenTwoRepeatingRowsKeepsEachPeriodWithItsText) {
    abc();
    repeat(tx(1), "30");
    repeat(tx(2), "5000");
    Form_TX->selectrow(1);
    click(Form_TX->Button_tx_down);
    EXPECT_EQ(descriptions(), QStringList({"B", "A", "C"}));
    EXPECT_TRUE(repeating(tx(1), 5000));
    EXPECT_TRUE(repeating(tx(2), 30));
    EXPECT_EQ(Form_TX->tx_selected, 2);
    QSignalSpy moved(tx(2)->Timer1, &QTimer::timeout);
    EXPECT_TRUE(moved.wait(1000));
}

TEST_F(MacroList, DeletingShiftsTheRepeatOfTheFollowingRows) {
    abc();
    repeat(tx(3), "25");
    Form_TX->selectrow(2);
    click(Form_TX->Button_del_tx);
    EXPECT_EQ(descriptions(), QStringList({"A", "C"}));
    EXPECT_TRUE(idle(tx(1)));
    EXPECT_TRUE(repeating(tx(2), 25));
    QSignalSpy moved(tx(2)->Timer1, &QTimer::timeout);
    EXPECT_TRUE(moved.wait(1000));
}

TEST_F(MacroList, RepeatBoxReadsThePeriodAndLocksIt) {
    TFrame_tx *row = tx(1);
    QSignalSpy ticks(row->Timer1, &QTimer::timeout);
    repeat(row, " $14"); // the integer text rule: 20
    EXPECT_TRUE(repeating(row, 20));
    EXPECT_EQ(ticks.count(), 0); // nothing at once
    EXPECT_TRUE(ticks.wait(1000));

    click(row->CheckBox1);
    EXPECT_TRUE(idle(row));
    ticks.clear();
    EXPECT_FALSE(ticks.wait(100));
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(MacroList, PeriodZeroOrNegativeIsOnButNeverFires) {
    for (const char *period : {"0", "-5"}) {
        TFrame_tx *row = tx(1);
        QSignalSpy ticks(row->Timer1, &QTimer::timeout);
        repeat(row, period);
        EXPECT_TRUE(row->CheckBox1->isChecked()) << period;
        EXPECT_TRUE(row->Timer1->enabled()) << period;
        EXPECT_FALSE(row->Edit_interval->isEnabled()) << period;
        EXPECT_FALSE(ticks.wait(150)) << period;
        click(row->CheckBox1);
        EXPECT_TRUE(idle(row)) << period;
    }
}

TEST_F(MacroList, FailingPeriodTextLeavesTimerAndFieldAsTheyWere) {
    TFrame_tx *row = tx(1);
    repeat(row, "abc");
    EXPECT_EQ(fakeDialogs().errors, QStringList({"'abc' is not a valid integer value"}));
    EXPECT_TRUE(row->CheckBox1->isChecked());
    EXPECT_FALSE(row->Timer1->enabled());
    EXPECT_TRUE(row->Edit_interval->isEnabled());

    // Repeating, then unticked by program over a bad text: still repeating.
    click(row->CheckBox1);
    repeat(row, "40");
    ASSERT_TRUE(repeating(row, 40));
    fakeDialogs().errors.clear();
    row->Edit_interval->setText("4O");
    row->CheckBox1->setChecked(false);
    EXPECT_EQ(fakeDialogs().errors, QStringList({"'4O' is not a valid integer value"}));
    EXPECT_FALSE(row->CheckBox1->isChecked());
    EXPECT_TRUE(row->Timer1->isActive());
    EXPECT_FALSE(row->Edit_interval->isEnabled());
}

TEST_F(MacroList, ProgramChangeOfTheBoxRunsTheHandlerOnlyOnARealChange) {
    TFrame_tx *row = tx(1);
    row->Edit_interval->setText("40");
    row->CheckBox1->setChecked(true);
    EXPECT_TRUE(repeating(row, 40));
    row->Edit_interval->setText("90");
    row->CheckBox1->setChecked(true);
    EXPECT_EQ(row->Timer1->interval(), 40);
    row->CheckBox1->setChecked(false);
    EXPECT_TRUE(idle(row));
}

// The bad text reaches row 1 whose box unticks: the move stops there, after
// the texts and the first box changed, before the selection follows.
TEST_F(MacroList, FailingPeriodStopsAMoveWhereItFails) {
    abc();
    repeat(tx(1), "50");
    tx(2)->Edit_interval->setText("abc");
    fakeDialogs().errors.clear();
    Form_TX->selectrow(2);
    click(Form_TX->Button_tx_up);
    EXPECT_EQ(fakeDialogs().errors, QStringList({"'abc' is not a valid integer value"}));
    EXPECT_EQ(descriptions(), QStringList({"B", "A", "C"}));
    EXPECT_TRUE(repeating(tx(2), 50));
    EXPECT_FALSE(tx(1)->CheckBox1->isChecked());
    EXPECT_FALSE(tx(1)->Timer1->enabled());
    EXPECT_EQ(Form_TX->tx_selected, 2);
}

TEST_F(MacroList, FreeRowsAndCreateRowRebuildTheList) {
    abc();
    Form_TX->freerows();
    EXPECT_EQ(Form_TX->tx_count, 0);
    EXPECT_TRUE(Form_TX->findChildren<TFrame_tx *>().isEmpty());
    EXPECT_EQ(Form_TX->tx_frames[1], nullptr);
    for (int n = 1; n <= 2; ++n)
        Form_TX->createrow(n);
    Form_TX->tx_count = 2;
    Form_TX->selectrow(1);
    EXPECT_EQ(descriptions(), QStringList({"tx_1", "tx_2"}));
    EXPECT_EQ(tx(2)->y(), 23);
    EXPECT_EQ(selected(), "x-");
    EXPECT_THROW(Form_TX->createrow(101), std::out_of_range);
}

} // namespace
