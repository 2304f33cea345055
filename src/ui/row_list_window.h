#pragma once

#include "rows_area.h"
#include "setup.h"

#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// What the two list windows share that does not depend on the kind of row:
// the bar of buttons with the column headings above the rows, and the window
// height rules.
class ListWindowBase : public QWidget {
public:
    static constexpr int maxrows = Setup::maxrows;
    static constexpr int rowheight = RowsArea::rowheight;

protected:
    struct Heading {
        const char *name;
        const char *caption;
        int left;
        bool rightAnchored;
    };
    // Positions at design size; buttons are 75 x 25 and right-anchored.
    struct Design {
        QSize size;
        int buttonTop;
        // In the order "Nový", "Smazat", "Nahoru", "Dolu".
        std::array<const char *, 4> buttonNames;
        std::array<int, 4> buttonLefts;
        std::vector<Heading> headings;
        QRect rows; // the rows area; follows all four edges
    };

    explicit ListWindowBase(QWidget *parent) : QWidget(parent) {}

    // Lays the window out and connects the buttons to the list operations.
    // Returns the buttons "Nový", "Smazat", "Nahoru", "Dolu".
    std::tuple<QPushButton *, QPushButton *, QPushButton *, QPushButton *>
    build(const Design &design, RowsArea *rows);

    virtual void addrow() = 0;
    virtual void deleterow() = 0;
    // step -1 moves the selected row's contents up, +1 down.
    virtual void moverow(int step) = 0;
    // The rows' contents changed (an edit, a new, deleted or moved row):
    // the session's set-up takes them.
    virtual void rowschanged() = 0;

    // The window may not be taller than its rows need: count x 23 + 100.
    void limitheight(int count);
    // A new row makes a window below 500 pixels one row taller.
    void growbyrow();
};

// Rows fixed to positions 1 to count, of which one is selected. Moving and
// deleting move the contents between rows; only the last row is ever
// destroyed, so every row keeps its number and name for its whole life.
template <class Row> class RowListWindow : public ListWindowBase {
public:
    using Rows = std::array<Row *, maxrows + 1>;

    // Creates row n at its place with the contents of a new row and stores
    // it at position n; the count is left to the caller.
    virtual Row *createrow(int n) = 0;

    void selectrow(int n) {
        fields().selected = n;
        for (int i = 1; i <= fields().count; ++i)
            if (Row *row = fields().rows[i])
                row->setselected(i == n);
    }

    // Frees rows 1 to count in ascending order; the count becomes 0.
    void freerows() {
        Fields list = fields();
        for (int i = 1; i <= list.count; ++i)
            delete std::exchange(list.rows[i], nullptr);
        list.count = 0;
        rowschanged();
    }

    // Applies the height rule to the current count, as a load does.
    void limitheight() { ListWindowBase::limitheight(fields().count); }

protected:
    // The window's own fields that hold the list.
    struct Fields {
        Rows &rows;
        int &count;
        int &selected;
    };

    using ListWindowBase::ListWindowBase;

    virtual Fields fields() = 0;
    // Contents of a row, copied or swapped in the order the window requires.
    virtual void copyrow(Row *to, Row *from) = 0;
    virtual void swaprows(Row *selected, Row *target) = 0;

    // The common part of createrow: a fresh row n named prefix + n, placed.
    Row *makerow(int n, RowsArea *area, const QString &prefix);

    void addrow() override {
        Fields list = fields();
        if (list.count >= maxrows)
            return;
        const int n = ++list.count;
        limitheight();
        growbyrow();
        createrow(n);
        rowschanged();
    }

    void deleterow() override {
        Fields list = fields();
        const int s = list.selected;
        if (list.count < 2 || s < 1 || s > list.count)
            return;
        for (int i = s; i < list.count; ++i)
            copyrow(list.rows[i], list.rows[i + 1]);
        // Out of the list before it goes, so nothing reaches it meanwhile.
        Row *last = std::exchange(list.rows[list.count], nullptr);
        --list.count;
        delete last;
        if (list.count < s)
            selectrow(list.count);
        limitheight();
        rowschanged();
    }

    void moverow(int step) override {
        Fields list = fields();
        const int s = list.selected, t = s + step;
        if (list.count < 2 || s < 1 || s > list.count || t < 1 || t > list.count)
            return;
        swaprows(list.rows[s], list.rows[t]);
        selectrow(t);
        rowschanged();
    }
};

template <class Row>
Row *RowListWindow<Row>::makerow(int n, RowsArea *area, const QString &prefix) {
    if (n < 1 || n > maxrows)
        throw std::out_of_range("row number out of range");
    Row *&slot = fields().rows[n];
    delete std::exchange(slot, nullptr);
    auto *row = new Row(n);
    row->setObjectName(prefix + QString::number(n));
    area->placerow(row, n);
    slot = row;
    return row;
}

// Moving contents between two rows.
void swaptexts(QLineEdit *a, QLineEdit *b);
void swaptexts(QComboBox *a, QComboBox *b);
void swapchecks(QCheckBox *a, QCheckBox *b);
