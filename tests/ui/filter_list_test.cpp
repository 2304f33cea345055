#include "lists_fixture.h"
#include <QLabel>

namespace {

class FilterList : public ListsTest {
protected:
    void addrows(int count) {
        while (Form_RX_filtr->filtr_count < count)
            click(Form_RX_filtr->Button_filtr_new);
    }

    // Rows 1 to 3 with filter texts f1..f3 and macros m1..m3; row 2 active,
    // row 3 HEX.
    void three() {
        addrows(3);
        for (int n = 1; n <= 3; ++n) {
            filtr(n)->Edit_filtr->setText(QString("f%1").arg(n));
            filtr(n)->ComboBox_filtr_macro->setEditText(QString("m%1").arg(n));
        }
        filtr(2)->CheckBox_filtr_active->setChecked(true);
        filtr(3)->CheckBox_filtr_hex->setChecked(true);
    }

    // Each row as text, macro, "a" when active, "h" when HEX.
    static QStringList contents() {
        QStringList rows;
        for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n) {
            TFrame_filtr *row = filtr(n);
            rows << row->Edit_filtr->text() + "/" + row->ComboBox_filtr_macro->currentText() +
                        (row->CheckBox_filtr_active->isChecked() ? "/a" : "/-") +
                        (row->CheckBox_filtr_hex->isChecked() ? "h" : "-");
        }
        return rows;
    }

    static QStringList offered(const QComboBox *box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

    static QString selected() {
        return highlighted(Form_RX_filtr->filtr_frames, Form_RX_filtr->filtr_count);
    }
};

TEST_F(FilterList, StartsWithOneEmptyInactiveRowSelected) {
    EXPECT_EQ(Form_RX_filtr->filtr_count, 1);
    ASSERT_NE(filtr(1), nullptr);
    EXPECT_EQ(filtr(1), Form_RX_filtr->findChild<TFrame_filtr *>("filtr_frame_1"));
    EXPECT_EQ(contents(), QStringList({"//--"}));
    EXPECT_TRUE(filtr(1)->ComboBox_filtr_macro->isEditable());
    EXPECT_EQ(filtr(1)->ComboBox_filtr_macro->maxVisibleItems(), 30);
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 1);
    EXPECT_EQ(selected(), "x");
    EXPECT_EQ(Form_RX_filtr->maximumHeight(), 123);
}

TEST_F(FilterList, RowLayoutWidensOnlyTheFilterText) {
    TFrame_filtr *row = filtr(1);
    EXPECT_EQ(row->geometry(), QRect(0, 0, row->parentWidget()->width(), 23));
    const int grown = row->width() - 440;
    EXPECT_EQ(row->CheckBox_filtr_active->geometry(), QRect(8, 3, 12, 17));
    EXPECT_EQ(row->Edit_filtr->geometry(), QRect(24, 1, 169 + grown, 21));
    EXPECT_EQ(row->CheckBox_filtr_hex->geometry(), QRect(200 + grown, 3, 12, 17));
    EXPECT_EQ(row->ComboBox_filtr_macro->geometry(), QRect(216 + grown, 1, 121, 21));
    EXPECT_EQ(row->ComboBox_filtr_mode->geometry(), QRect(344 + grown, 1, 89, 21));
    EXPECT_EQ(Form_RX_filtr->findChild<QLabel *>("Label5")->text(), "Shoda");
}

TEST_F(FilterList, TheMatchModeTravelsWithItsRowAndIsStored) {
    three();
    const auto modes = [] {
        QList<int> found;
        for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n)
            found << filtr(n)->ComboBox_filtr_mode->currentIndex();
        return found;
    };
    EXPECT_EQ(modes(), (QList<int>{0, 0, 0})) << "begins with, at first";
    filtr(1)->ComboBox_filtr_mode->setCurrentIndex(4);
    filtr(2)->ComboBox_filtr_mode->setCurrentIndex(1);
    filtr(3)->ComboBox_filtr_mode->setCurrentIndex(3);
    EXPECT_FALSE(filtr(1)->CheckBox_filtr_hex->isEnabled()) << "no HEX for an expression";
    Form_RX_filtr->selectrow(1);
    click(Form_RX_filtr->Button_filtr_down);
    EXPECT_EQ(modes(), (QList<int>{1, 4, 3}));
    EXPECT_TRUE(filtr(1)->CheckBox_filtr_hex->isEnabled());
    EXPECT_FALSE(filtr(2)->CheckBox_filtr_hex->isEnabled());
    Form_RX_filtr->selectrow(1);
    click(Form_RX_filtr->Button_filtr_del);
    EXPECT_EQ(modes(), (QList<int>{4, 3}));
    click(Form_RX_filtr->Button_filtr_new);
    EXPECT_EQ(modes(), (QList<int>{4, 3, 0}));

    Form1->savesettings();
    destroyforms();
    createforms();
    Form1->settingsfile = dir.filePath("default.ini");
    start();
    EXPECT_EQ(modes(), (QList<int>{4, 3, 0}));
}

TEST_F(FilterList, APatternThatCannotBeUsedTurnsRedWithItsReason) {
    TFrame_filtr *row = filtr(1);
    const QColor usual = row->Edit_filtr->palette().color(QPalette::Text);
    row->ComboBox_filtr_mode->setCurrentIndex(4);
    row->Edit_filtr->setText("([0-9]");
    EXPECT_EQ(row->Edit_filtr->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_TRUE(row->Edit_filtr->toolTip().contains("missing"))
        << row->Edit_filtr->toolTip().toStdString();
    row->Edit_filtr->setText("([0-9])");
    EXPECT_EQ(row->Edit_filtr->palette().color(QPalette::Text), usual);
    EXPECT_TRUE(row->Edit_filtr->toolTip().isEmpty());
    row->ComboBox_filtr_mode->setCurrentIndex(0);
    row->Edit_filtr->setText("$zz");
    EXPECT_EQ(row->Edit_filtr->toolTip(), "'$zz' is not a valid integer value");
    EXPECT_TRUE(fakeDialogs().errors.isEmpty()) << "shown in the row, not in a box";
}

TEST_F(FilterList, NewRowsStartEmptyAndFreedNumbersAreReused) {
    three();
    EXPECT_EQ(filtr(3)->objectName(), "filtr_frame_3");
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 1);
    Form_RX_filtr->selectrow(3);
    click(Form_RX_filtr->Button_filtr_del);
    click(Form_RX_filtr->Button_filtr_new);
    ASSERT_EQ(Form_RX_filtr->filtr_count, 3);
    EXPECT_EQ(filtr(3)->objectName(), "filtr_frame_3");
    EXPECT_EQ(filtr(3)->number, 3);
    EXPECT_EQ(contents(), QStringList({"f1/m1/--", "f2/m2/a-", "//--"}));
    EXPECT_EQ(Form_RX_filtr->findChildren<TFrame_filtr *>().size(), 3);
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 2);
}

TEST_F(FilterList, DeletingTheMiddleRowKeepsPositionTwoSelected) {
    three();
    Form_RX_filtr->selectrow(2);
    click(Form_RX_filtr->Button_filtr_del);
    EXPECT_EQ(contents(), QStringList({"f1/m1/--", "f3/m3/-h"}));
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 2);
    EXPECT_EQ(selected(), "-x");
    EXPECT_EQ(Form_RX_filtr->maximumHeight(), 146);
    EXPECT_EQ(Form_RX_filtr->findChild<TFrame_filtr *>("filtr_frame_3"), nullptr);

    click(Form_RX_filtr->Button_filtr_del);
    click(Form_RX_filtr->Button_filtr_del); // a single row stays
    EXPECT_EQ(contents(), QStringList({"f1/m1/--"}));
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 1);
}

TEST_F(FilterList, MovingCarriesActiveAndHexAndTheSelectionFollows) {
    three();
    Form_RX_filtr->selectrow(2);
    click(Form_RX_filtr->Button_filtr_down);
    EXPECT_EQ(contents(), QStringList({"f1/m1/--", "f3/m3/-h", "f2/m2/a-"}));
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 3);
    EXPECT_EQ(selected(), "--x");
    click(Form_RX_filtr->Button_filtr_down); // already last
    click(Form_RX_filtr->Button_filtr_up);
    click(Form_RX_filtr->Button_filtr_up);
    EXPECT_EQ(contents(), QStringList({"f2/m2/a-", "f1/m1/--", "f3/m3/-h"}));
    click(Form_RX_filtr->Button_filtr_up); // already first
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 1);
    EXPECT_EQ(selected(), "x--");
}

TEST_F(FilterList, ControlsAndBackgroundSelectTheirRow) {
    addrows(2);
    activate(Form_RX_filtr);
    TFrame_filtr *row = filtr(2);
    for (QWidget *control :
         std::initializer_list<QWidget *>{row->Edit_filtr, row->CheckBox_filtr_active,
                                          row->ComboBox_filtr_macro, row->CheckBox_filtr_hex}) {
        clickbackground(filtr(1));
        ASSERT_EQ(selected(), "x-");
        control->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(Form_RX_filtr->filtr_selected, 2) << control->objectName().toStdString();
        EXPECT_EQ(selected(), "-x");
    }
}

TEST_F(FilterList, MacroBoxListsTheDescriptionsEachTimeItIsEntered) {
    while (Form_TX->tx_count < 3)
        click(Form_TX->Button_new_tx);
    Form_TX->tx_frames[1]->Edit_popis->setText("ack");
    Form_TX->tx_frames[2]->Edit_popis->setText("ack");
    Form_TX->tx_frames[3]->Edit_popis->setText("");
    addrows(2);
    QComboBox *box = filtr(2)->ComboBox_filtr_macro;
    box->setEditText("ack");
    activate(Form_RX_filtr);

    box->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(offered(box), QStringList({"ack", "ack", ""}));
    EXPECT_EQ(box->currentText(), "ack");
    EXPECT_EQ(Form_RX_filtr->filtr_selected, 2);

    // While the box keeps the focus its list stays as it was.
    Form_TX->tx_frames[1]->Edit_popis->setText("nak");
    QTest::keyClicks(box, "2");
    EXPECT_EQ(offered(box), QStringList({"ack", "ack", ""}));

    filtr(2)->Edit_filtr->setFocus(Qt::TabFocusReason);
    box->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(offered(box), QStringList({"nak", "ack", ""}));
    EXPECT_EQ(box->currentText(), "ack2");
    EXPECT_EQ(filtr(1)->ComboBox_filtr_macro->count(), 0); // other rows untouched
}

TEST_F(FilterList, GrowsPerRowAndStopsAtHundredRows) {
    click(Form_RX_filtr->Button_filtr_new);
    EXPECT_EQ(Form_RX_filtr->maximumHeight(), 146);
    EXPECT_EQ(Form_RX_filtr->height(), 146);
    addrows(100);
    click(Form_RX_filtr->Button_filtr_new);
    EXPECT_EQ(Form_RX_filtr->filtr_count, 100);
    EXPECT_EQ(Form_RX_filtr->findChildren<TFrame_filtr *>().size(), 100);
    EXPECT_EQ(Form_RX_filtr->height(), 514);
    EXPECT_EQ(filtr(100)->y(), 99 * 23);
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

} // namespace
