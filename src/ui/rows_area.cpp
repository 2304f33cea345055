#include "rows_area.h"

#include <QChildEvent>
#include <QScrollBar>
#include <algorithm>

// The scrolled widget: as wide as the visible area (at least a row's design
// width) and as tall as its rows, so the scroll range always ends at the last
// row, whichever way rows come and go.
class RowsContent : public QWidget {
public:
    RowsContent(int minimumWidth) : minimumWidth_(minimumWidth) {}

    void fit() {
        if (!parentWidget())
            return;
        int bottom = 0;
        for (const QWidget *row : rows())
            bottom = std::max(bottom, row->geometry().bottom() + 1);
        resize(std::max(parentWidget()->width(), minimumWidth_), bottom);
    }

protected:
    bool event(QEvent *event) override {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::ChildRemoved)
            fit();
        return handled;
    }

    void resizeEvent(QResizeEvent *) override {
        // Rows are anchored to the left and right edges.
        for (QWidget *row : rows())
            row->resize(width(), row->height());
    }

private:
    QList<QWidget *> rows() const { return findChildren<QWidget *>(Qt::FindDirectChildrenOnly); }

    int minimumWidth_;
};

RowsArea::RowsArea(QWidget *parent, const QString &name, int rowDesignWidth)
    : QScrollArea(parent), content_(new RowsContent(rowDesignWidth)) {
    setObjectName(name);
    setFrameShape(QFrame::NoFrame);
    // A click on a row's background selects the row and leaves the focus
    // where it was.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(false);
    setWidget(content_);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    content_->fit();
}

void RowsArea::placerow(QWidget *row, int n) {
    row->setParent(content_);
    row->setGeometry(0, (n - 1) * rowheight, content_->width(), rowheight);
    row->show();
    content_->fit();
}

bool RowsArea::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::Resize)
        content_->fit();
    return QScrollArea::viewportEvent(event);
}
