#include "list_row.h"

#include "anchors.h"

#include <QFocusEvent>
#include <QMouseEvent>

ListRow::ListRow(int n, QSize design) : number(n) {
    resize(design);
    anchors_ = new Anchors(this);
    setAutoFillBackground(true);
    setselected(false);
}

void ListRow::setselected(bool selected) {
    setBackgroundRole(selected ? QPalette::Shadow : QPalette::Button);
}

void ListRow::place(QWidget *control, QRect design, Qt::Edges edges) {
    control->setParent(this);
    anchors_->add(control, design, edges);
    control->installEventFilter(this);
}

void ListRow::settaborder(std::initializer_list<QWidget *> controls) {
    QWidget *previous = nullptr;
    for (QWidget *control : controls) {
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }
}

bool ListRow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn) {
        // Coming back to the window or closing a drop-down list is no entry:
        // the control had the focus already.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            controlentered(static_cast<QWidget *>(watched));
    }
    return false;
}

void ListRow::mousePressEvent(QMouseEvent *event) {
    // Taking the press makes the release come here too.
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QFrame::mousePressEvent(event);
}

void ListRow::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        FrameClick();
    else
        QFrame::mouseReleaseEvent(event);
}
