#include "graph_view.h"

#include <QMouseEvent>
#include <QWheelEvent>

GraphView::GraphView(QChart *chart, QWidget *parent) : QChartView(chart, parent) {
    setRubberBand(QChartView::RectangleRubberBand);
    setMouseTracking(true);
    setRenderHint(QPainter::Antialiasing, false);
}

void GraphView::wheelEvent(QWheelEvent *event) {
    const qreal factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
    // About the pointer: the point under it stays under it.
    const QPointF at = event->position();
    const QRectF area = chart()->plotArea();
    QRectF zoomed(area);
    zoomed.setWidth(area.width() / factor);
    zoomed.setHeight(area.height() / factor);
    zoomed.moveCenter(at - (at - area.center()) / factor);
    chart()->zoomIn(zoomed);
    emit userranged();
    event->accept();
}

void GraphView::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        panning_ = true;
        panfrom_ = event->pos();
        event->accept();
        return;
    }
    pressedat_ = event->pos();
    QChartView::mousePressEvent(event);
}

void GraphView::mouseMoveEvent(QMouseEvent *event) {
    emit pointed(chart()->mapToValue(event->position()));
    if (panning_) {
        const QPoint by = event->pos() - panfrom_;
        panfrom_ = event->pos();
        chart()->scroll(-by.x(), by.y());
        emit userranged();
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void GraphView::mouseReleaseEvent(QMouseEvent *event) {
    if (panning_) {
        panning_ = false;
        event->accept();
        return;
    }
    // A rectangle zooms; a click alone does not.
    const bool zoom =
        event->button() == Qt::LeftButton && (event->pos() - pressedat_).manhattanLength() > 3;
    QChartView::mouseReleaseEvent(event);
    if (zoom)
        emit userranged();
}
