#pragma once

#include <QFrame>
#include <QRect>
#include <initializer_list>

class Anchors;

// What the macro rows and the filter rows share: a number fixed for the
// row's life, a background that shows whether the row is selected, and the
// ways the user selects it (a control taking the focus, a click on the bare
// background). The rows themselves decide what selecting means.
class ListRow : public QFrame {
    Q_OBJECT
public:
    // The row's position in its list, counted from 1.
    const int number;

    // Dark shadow colour when selected, button face otherwise.
    void setselected(bool selected);

    // A click on the row's own background.
    virtual void FrameClick() = 0;

protected:
    ListRow(int n, QSize design);

    // Adds a control at its design place; its focus is watched.
    template <class Control>
    Control *addcontrol(Control *control, const char *name, QRect design, Qt::Edges edges) {
        control->setObjectName(name);
        place(control, design, edges);
        return control;
    }

    // Chains the controls for the Tab key in the given order.
    static void settaborder(std::initializer_list<QWidget *> controls);

    // A control of this row received the focus from the user or the program.
    virtual void controlentered(QWidget *control) = 0;

    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void place(QWidget *control, QRect design, Qt::Edges edges);

    Anchors *anchors_;
};
