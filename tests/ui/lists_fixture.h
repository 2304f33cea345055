#pragma once

#include "filter_list_window.h"
#include "forms_fixture.h"
#include "macro_list_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

// The list windows as the program starts them: one row in each list.
class ListsTest : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        start();
    }

    static void click(QWidget *control) { QTest::mouseClick(control, Qt::LeftButton); }

    // A click on the row itself, left of its first control.
    static void clickbackground(QWidget *row) {
        QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(3, 11));
    }

    static void activate(QWidget *window) {
        QApplication::setActiveWindow(window);
        QApplication::processEvents();
    }

    // "x" for each highlighted row, "-" for the others, rows 1 to count.
    template <class Rows> static QString highlighted(const Rows &rows, int count) {
        QString marks;
        for (int n = 1; n <= count; ++n)
            marks += rows[n]->backgroundRole() == QPalette::Shadow ? 'x' : '-';
        return marks;
    }

    static TFrame_tx *tx(int n) { return Form_TX->tx_frames[n]; }
    static TFrame_filtr *filtr(int n) { return Form_RX_filtr->filtr_frames[n]; }
};
