#include "anchors.h"

#include <QEvent>
#include <QWidget>

namespace {

// One axis: the start stays put, the far edge follows the host.
void follow(int &start, int &length, bool nearEdge, bool farEdge, int growth) {
    if (!farEdge)
        return;
    if (nearEdge)
        length += growth;
    else
        start += growth;
}

} // namespace

Anchors::Anchors(QWidget *host) : QObject(host), host_(host), design_(host->size()) {
    host->installEventFilter(this);
}

void Anchors::add(QWidget *control, QRect design, Qt::Edges edges) {
    items_.push_back({control, design, edges});
    place(items_.back());
}

void Anchors::place(const Item &item) const {
    int x = item.design.x(), y = item.design.y();
    int width = item.design.width(), height = item.design.height();
    follow(x, width, item.edges & Qt::LeftEdge, item.edges & Qt::RightEdge,
           host_->width() - design_.width());
    follow(y, height, item.edges & Qt::TopEdge, item.edges & Qt::BottomEdge,
           host_->height() - design_.height());
    item.control->setGeometry(x, y, width, height);
}

bool Anchors::eventFilter(QObject *watched, QEvent *event) {
    if (watched == host_ && event->type() == QEvent::Resize)
        for (const Item &item : items_)
            place(item);
    return false;
}
