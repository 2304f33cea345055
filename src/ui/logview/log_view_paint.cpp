// The log view's painting and scrolling: the rows a repaint covers, the
// scroll bar that follows the end, and where each line's rows start.
#include "log_view.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

// At most one repaint per view in this time, whatever the record rate.
constexpr int paintms = 16;

} // namespace

// One clock for every log of the program: the views that changed within the
// same 16 ms repaint in one pass of the event loop. With a clock each, the
// three windows repainted in separate passes, and a link waiting for an
// answer was held up by each of them in turn.
class PaintClock {
public:
    static void request(LogView *view) {
        PaintClock &clock = instance();
        if (std::find(clock.waiting_.begin(), clock.waiting_.end(), view) == clock.waiting_.end())
            clock.waiting_.emplace_back(view);
        if (!clock.timer_)
            clock.maketimer();
        if (!clock.timer_->isActive())
            clock.timer_->start();
    }

private:
    static PaintClock &instance() {
        static PaintClock clock;
        return clock;
    }
    // The timer belongs to the application, so that it goes before the
    // event loop does.
    void maketimer() {
        timer_ = new QTimer(QCoreApplication::instance());
        timer_->setSingleShot(true);
        timer_->setInterval(paintms);
        QObject::connect(timer_, &QTimer::timeout, timer_, [this] { tick(); });
    }
    void tick() {
        // A view deleted since it asked is skipped; a view that asks again
        // while the others paint waits for the next tick.
        const std::vector<QPointer<LogView>> views = std::exchange(waiting_, {});
        for (const QPointer<LogView> &view : views) {
            if (view)
                view->flush();
        }
    }
    QPointer<QTimer> timer_;
    std::vector<QPointer<LogView>> waiting_;
};

// Something changed: the scroll range and the picture follow, at most once
// per 16 ms.
void LogView::touched(std::int64_t fromrow) {
    dirtyrow_ = std::min(dirtyrow_, fromrow);
    PaintClock::request(this);
    emit changed();
}

// Rows that only moved are scrolled (see scrollContentsBy); only the rows
// from the first one that changed are painted again. A log that follows its
// end paints its new rows, a log that does not paints nothing while its
// new rows are out of view.
void LogView::flush() {
    if (search_)
        search_->grown();
    flushing_ = true;
    if (dirtyrow_ != unchanged)
        updatescrollbar();
    if (follow_)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    follow_ = false;
    flushing_ = false;
    if (scrolled_ != 0)
        viewport()->scroll(0, scrolled_ * rowheight_);
    scrolled_ = 0;
    const std::int64_t changed = std::max<std::int64_t>(0, dirtyrow_ - toprow());
    dirtyrow_ = unchanged;
    if (changed * rowheight_ < viewport()->height()) {
        const int y = static_cast<int>(changed) * rowheight_;
        viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
    }
    emit repainting();
}

void LogView::updatescrollbar() {
    fitwidth();
    const int page = std::max(1, viewport()->height() / rowheight_);
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(page);
    bar->setRange(0, std::max(0, rows() - page));
}

void LogView::scrolltoend() {
    updatescrollbar();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogView::followend() {
    follow_ = true;
    PaintClock::request(this);
}

int LogView::toprow() const {
    return verticalScrollBar()->value();
}

// The rows in view move by whole rows, with the next repaint: however
// often the view is scrolled in between, its pixels move once.
void LogView::scrollContentsBy(int, int dy) {
    scrolled_ += dy;
    if (!flushing_)
        PaintClock::request(this);
}

void LogView::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    fitwidth();
    updatescrollbar();
    viewport()->update();
}

std::vector<qsizetype> LogView::startsof(std::int64_t line, const QString &text) const {
    if (index_.rows(line) == 1)
        return {0};
    if (startsknown(line))
        return known_.starts;
    std::vector<qsizetype> starts = rowstarts(fontof(line), text, width_);
    if (text.size() > longline)
        keepstarts(line, starts);
    return starts;
}

bool LogView::startsknown(std::int64_t line) const {
    return known_.line == line && known_.where == store_.extent(line) && known_.width == width_;
}

void LogView::keepstarts(std::int64_t line, std::vector<qsizetype> starts) const {
    known_ = {line, store_.extent(line), width_, std::move(starts)};
}

void LogView::paintEvent(QPaintEvent *event) {
    fitwidth();
    // Only the rows the event covers: a scroll or an append paints a few.
    const QRect area = event->rect();
    if (scrolled_ != 0) {
        // Painted before its pixels moved: rows outside the event would be
        // left where they were, so all of them are painted.
        scrolled_ = 0;
        if (!area.contains(viewport()->rect()))
            viewport()->update();
    }
    const int first = std::max(0, area.top() / rowheight_);
    const int height = area.bottom() + 1;
    if (toprow() + first >= index_.total())
        return;
    QPainter painter(viewport());
    auto [line, inrow] = index_.find(toprow() + first);
    for (int y = first * rowheight_; y < height && line < store_.count(); ++line, inrow = 0) {
        const QString text = store_.text(line);
        const std::vector<qsizetype> starts = startsof(line, text);
        painter.setFont(fontof(line).font());
        for (auto r = static_cast<std::size_t>(inrow); r < starts.size() && y < height; ++r) {
            const qsizetype to = r + 1 < starts.size() ? starts[r + 1] : text.size();
            paintrow(painter, {line, text, starts[r], to, r + 1 == starts.size()}, y);
            y += rowheight_;
        }
    }
}

void LogView::paintrow(QPainter &painter, const Row &row, int y) const {
    const FontAdvances &font = fontof(row.line);
    const QPalette &colours = palette();
    const QColor colour = styles_[store_.style(row.line)].colour;
    // The row in up to three pieces: before, inside and after the selection.
    qreal x = margin;
    const auto piece = [&](qsizetype a, qsizetype b, bool selected) {
        if (b <= a)
            return;
        const QString part = row.text.mid(a, b - a);
        qreal w = 0;
        for (const QChar c : part)
            w += font.advance(c);
        if (selected) {
            painter.fillRect(QRectF(x, y, w, rowheight_), colours.highlight());
            painter.setPen(colours.highlightedText().color());
        } else {
            painter.setPen(colour);
        }
        painter.drawText(QPointF(x, y + ascent_), part);
        x += w;
    };
    const auto [selfrom, selto] = std::minmax(anchor_, cursor_);
    const qsizetype s0 = selfrom.line < row.line    ? 0
                         : selfrom.line == row.line ? selfrom.column
                                                    : -1;
    const qsizetype s1 = selto.line > row.line    ? row.text.size() + 1
                         : selto.line == row.line ? selto.column
                                                  : -1;
    if (selfrom == selto || s0 < 0 || s1 < 0) {
        piece(row.from, row.to, false);
    } else {
        const qsizetype a = std::clamp(s0, row.from, row.to);
        const qsizetype b = std::clamp(s1, row.from, row.to);
        piece(row.from, a, false);
        piece(a, b, true);
        piece(b, row.to, false);
    }
    if (focused_ && cursor_.line == row.line && cursor_.column >= row.from &&
        (cursor_.column < row.to || row.last)) {
        qreal cx = margin;
        for (qsizetype i = row.from; i < cursor_.column; ++i)
            cx += font.advance(row.text[i]);
        painter.fillRect(QRectF(cx, y, 1, rowheight_), colours.text());
    }
}
