#pragma once

#include <QChartView>

// The plot's view: a rectangle dragged with the left button zooms into it,
// the wheel zooms about the pointer, a drag with the right or middle button
// pans; each tells `userranged`. The value under the pointer goes to
// `pointed`.
class GraphView : public QChartView {
    Q_OBJECT
public:
    explicit GraphView(QChart *chart, QWidget *parent = nullptr);

signals:
    void userranged();
    void pointed(const QPointF &value);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPoint panfrom_;
    QPoint pressedat_;
    bool panning_ = false;
};
