// The log view's search: its find bar's search over the store and the
// marks of its hits beside the scroll bar.
#include "log_view.h"

#include <QPainter>
#include <QScrollBar>

#include <algorithm>

LogSearch &LogView::search() {
    if (!search_) {
        search_ = std::make_unique<LogSearch>(store_);
        connect(search_.get(), &LogSearch::progressed, verticalScrollBar(),
                [this] { verticalScrollBar()->update(); });
    }
    return *search_;
}

// A mark for each pixel row of the groove whose lines hold a match.
void LogView::paintmarks(QPainter &painter, const QRect &groove) const {
    if (!search_ || search_->found() == 0 || groove.height() <= 0)
        return;
    const std::int64_t total = index_.total();
    const QColor colour = palette().color(QPalette::Highlight);
    for (int y = 0; y < groove.height(); ++y) {
        const std::int64_t fromrow = total * y / groove.height();
        const std::int64_t torow = std::max(fromrow + 1, total * (y + 1) / groove.height());
        const std::int64_t from = index_.find(fromrow).first;
        const std::int64_t to = index_.find(torow - 1).first + 1;
        if (search_->anyin(from, to))
            painter.fillRect(groove.left() + 2, groove.top() + y, groove.width() - 4, 2, colour);
    }
}
