#pragma once

#include <QScrollArea>

class RowsContent;

// The scrolling container of a list window. Rows sit in it at fixed places,
// row n at top (n - 1) x 23 of the scrolled content, so a new row lands
// directly below the last one however far the list is scrolled. Rows span
// the visible width; below the design width of a row the list scrolls
// sideways instead of squeezing the row's controls together.
class RowsArea : public QScrollArea {
public:
    static constexpr int rowheight = 23;

    RowsArea(QWidget *parent, const QString &name, int rowDesignWidth);

    // Makes the row a child of the scrolled content and shows it at place n.
    void placerow(QWidget *row, int n);

protected:
    bool viewportEvent(QEvent *event) override;

private:
    RowsContent *content_;
};
