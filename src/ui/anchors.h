#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

// Keeps child controls at their design distances from the edges they are
// anchored to while their host is resized. A control anchored to both left
// and right (or top and bottom) stretches; one anchored only to the right (or
// bottom) moves with that edge.
class Anchors : public QObject {
public:
    // The host's geometry at design time is its current size.
    explicit Anchors(QWidget *host);

    // Places the control at its design rectangle, as seen from the edges.
    void add(QWidget *control, QRect design, Qt::Edges edges);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Item {
        QWidget *control;
        QRect design;
        Qt::Edges edges;
    };

    void place(const Item &item) const;

    QWidget *host_;
    QSize design_;
    std::vector<Item> items_;
};
