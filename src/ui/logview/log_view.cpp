#include "log_view.h"

#include "errors.h"
#include "rtf_writer.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr int pointsize = 8;
// The space between the text and the view's left and right edges.
constexpr int margin = 3;
// At most one repaint per view in this time, whatever the record rate.
constexpr int paintms = 16;
// A line longer than this keeps its row starts from the moment it is written.
constexpr qsizetype longline = 4096;

std::u16string utf16(const QString &text) {
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

bool writeall(QSaveFile &file, const std::string &bytes) {
    const auto size = static_cast<qint64>(bytes.size());
    return file.write(bytes.data(), size) == size;
}

template <class T> std::size_t placein(std::vector<T> &table, const T &entry) {
    const auto found = std::find(table.begin(), table.end(), entry);
    if (found != table.end())
        return static_cast<std::size_t>(found - table.begin());
    table.push_back(entry);
    return table.size() - 1;
}

// A scroll bar that repaints only when what it shows changes: a growing log
// changes its range at every repaint, but its handle moves a pixel only now
// and then.
class LogScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;
    // Paints marks over the groove, given the painter and the groove.
    std::function<void(QPainter &, const QRect &)> marks;

protected:
    void paintEvent(QPaintEvent *event) override {
        QScrollBar::paintEvent(event);
        if (!marks)
            return;
        QStyleOptionSlider option;
        initStyleOption(&option);
        QPainter painter(this);
        marks(painter, style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                               QStyle::SC_ScrollBarGroove, this));
    }

    void sliderChange(SliderChange change) override {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const Shown now{style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                QStyle::SC_ScrollBarSlider, this),
                        value() == minimum(), value() == maximum()};
        if (change != SliderOrientationChange && now == shown_)
            return;
        shown_ = now;
        QScrollBar::sliderChange(change);
    }

private:
    struct Shown {
        QRect handle;
        bool first = false; // at either end its arrow may show disabled
        bool last = false;
        bool operator==(const Shown &) const = default;
    };
    Shown shown_;
};

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

// The local time is looked up (time zone and all) once a second only: a
// record costs no more than a division.
bool showmilliseconds = false;

QString timetext(qint64 msecs) {
    static qint64 second = std::numeric_limits<qint64>::min();
    static QString text;
    const qint64 now = msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
    if (now != second) {
        second = now;
        text = QDateTime::fromSecsSinceEpoch(now).time().toString("h:mm:ss");
    }
    if (!showmilliseconds)
        return text;
    return text + QString(".%1").arg(msecs - now * 1000, 3, 10, QChar('0'));
}

QString timetext() {
    return timetext(QDateTime::currentMSecsSinceEpoch());
}

LogView::LogView(const QString &name, const LineStyle &style, QWidget *parent)
    : QAbstractScrollArea(parent), default_(style), current_(style) {
    setObjectName(name);
    setFont(QFont(style.font, pointsize));
    QPalette colours = palette();
    colours.setColor(QPalette::Text, style.colour);
    setPalette(colours);
    auto *bar = new LogScrollBar(Qt::Vertical, this);
    bar->marks = [this](QPainter &painter, const QRect &groove) { paintmarks(painter, groove); };
    setVerticalScrollBar(bar);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    currentindex_ = styleindex(style);
    if (!spoolfolder.isEmpty())
        store_.spoolto(spoolfolder, name);
    tellspoolfailure();
}

LogView::~LogView() = default;

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

void LogView::selectrange(std::int64_t n, qsizetype from, qsizetype to) {
    if (n < 0 || n >= store_.count())
        return;
    anchor_ = Place{n, from};
    cursor_ = Place{n, to};
    showcursor();
    viewport()->update();
}

std::pair<std::int64_t, qsizetype> LogView::selectionstart() const {
    const Place place = std::min(anchor_, cursor_);
    return {place.line, place.column};
}

std::pair<std::int64_t, qsizetype> LogView::selectionend() const {
    const Place place = std::max(anchor_, cursor_);
    return {place.line, place.column};
}

QString LogView::spoolfolder;

// The failure is told from the event loop: the record saying so may well
// come back to this view.
void LogView::tellspoolfailure() {
    const QString reason = store_.takefailure();
    if (!reason.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, reason] { emit spoolfailed(reason); }, Qt::QueuedConnection);
}

std::uint8_t LogView::styleindex(const LineStyle &style) {
    for (std::size_t i = 0; i < styles_.size(); ++i) {
        if (styles_[i] == style)
            return static_cast<std::uint8_t>(i);
    }
    if (styles_.size() == 256) // never in practice: the windows use a handful
        return 0;
    styles_.push_back(style);
    fonts_.push_back(std::make_unique<FontAdvances>(QFont(style.font, pointsize)));
    const QFontMetricsF &metrics = fonts_.back()->metrics();
    const int height = static_cast<int>(std::ceil(metrics.lineSpacing()));
    if (height > rowheight_ || styles_.size() == 1) {
        rowheight_ = std::max(rowheight_, height);
        ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
    }
    return static_cast<std::uint8_t>(styles_.size() - 1);
}

const FontAdvances &LogView::fontof(std::int64_t line) const {
    return *fonts_[store_.style(line)];
}

qreal LogView::wrapwidth() const {
    return std::max(1, viewport()->width() - 2 * margin);
}

// Rows follow the viewport's width, also while the view is hidden and gets
// no resize event.
bool LogView::fitwidth() const {
    if (wrapwidth() == width_)
        return false;
    const_cast<LogView *>(this)->recount();
    return true;
}

// Counts every line's rows at the new width. A line that surely fits is one
// row without reading its text; only the others are read and wrapped.
void LogView::recount() {
    width_ = wrapwidth();
    index_.rebuild([this](std::int64_t from, std::int64_t to, auto &&reshape) {
        store_.readlines(
            from, to, [this](std::int64_t n) { return !index_.fits(n, width_); },
            [&](std::int64_t n, const char *bytes, std::size_t size) {
                WrapState state;
                const FontAdvances &font = *fonts_[store_.style(n)];
                LogStore::forchars(bytes, size,
                                   [&](char16_t c) { state.put(font, QChar(c), width_, nullptr); });
                reshape(n, RowIndex::Shape{state.rows, state.natural});
            });
    });
    restartlast();
    touched();
}

// The running wrap of the last line, from its text.
void LogView::restartlast() {
    last_ = WrapState();
    if (store_.empty())
        return;
    const std::int64_t n = store_.count() - 1;
    last_.feed(fontof(n), store_.text(n), width_);
}

void LogView::putline(QStringView text, std::uint8_t style) {
    // A long line keeps the row starts its wrap finds, for its repaints.
    const bool long_ = text.size() > longline;
    std::vector<qsizetype> starts{0};
    last_ = WrapState();
    last_.feed(*fonts_[style], text, width_, long_ ? &starts : nullptr);
    store_.add(text, style);
    index_.push(RowIndex::Shape{last_.rows, last_.natural});
    tellspoolfailure();
    if (long_)
        keepstarts(store_.count() - 1, std::move(starts));
}

void LogView::setstyle(const LineStyle &style) {
    current_ = style;
    currentindex_ = styleindex(style);
}

void LogView::addline(QStringView text, const LineStyle &style) {
    setstyle(style);
    addline(text);
}

void LogView::addline(QStringView text) {
    fitwidth();
    const std::int64_t from = index_.total();
    putline(text, currentindex_);
    touched(from);
}

void LogView::addlines(const std::vector<LogLine> &lines) {
    fitwidth();
    const std::int64_t from = index_.total();
    for (const LogLine &line : lines) {
        setstyle(line.style);
        putline(line.text, currentindex_);
    }
    touched(from);
}

void LogView::appendtext(QStringView text) {
    if (empty()) {
        addline(text);
        return;
    }
    if (text.isEmpty())
        return;
    fitwidth();
    const std::int64_t n = store_.count() - 1;
    const std::int64_t from = index_.total() - 1; // the appended text starts in the last row
    // Row starts known for the line grow with it; a line of one row that
    // becomes long starts knowing them.
    bool known = startsknown(n) && index_.rows(n) > 1;
    if (!known && text.size() > longline && index_.rows(n) == 1) {
        known_.starts = {0};
        known = true;
    }
    last_.feed(fontof(n), text, width_, known ? &known_.starts : nullptr);
    store_.append(text);
    index_.setlast(RowIndex::Shape{last_.rows, last_.natural});
    tellspoolfailure();
    if (known)
        keepstarts(n, std::move(known_.starts));
    touched(from);
}

bool LogView::lastlineempty() const {
    return empty() || store_.length(store_.count() - 1) == 0;
}

void LogView::clearlog() {
    store_.clear();
    tellspoolfailure();
    if (search_)
        search_->restart();
    index_.clear();
    last_ = WrapState();
    known_ = KnownStarts();
    cursor_ = anchor_ = Place();
    touched();
}

int LogView::rows() const {
    fitwidth();
    return static_cast<int>(index_.total());
}

QString LogView::lineText(int n) const {
    return n >= 0 && n < lineCount() ? store_.text(n) : QString();
}

QColor LogView::lineColour(int n) const {
    return n >= 0 && n < lineCount() ? styles_[store_.style(n)].colour : QColor();
}

QString LogView::lineFont(int n) const {
    return n >= 0 && n < lineCount() ? styles_[store_.style(n)].font : QString();
}

QString LogView::plaintext() const {
    QString text;
    for (std::int64_t n = 0; n < store_.count(); ++n) {
        if (n > 0)
            text += '\n';
        text += store_.text(n);
    }
    return text;
}

void LogView::save(const QString &path) const {
    std::vector<std::u16string> fonts;
    std::vector<RtfColour> colours;
    std::vector<std::pair<std::size_t, std::size_t>> places;
    for (const LineStyle &style : styles_) {
        const RtfColour colour{static_cast<unsigned char>(style.colour.red()),
                               static_cast<unsigned char>(style.colour.green()),
                               static_cast<unsigned char>(style.colour.blue())};
        places.emplace_back(placein(fonts, utf16(style.font)), placein(colours, colour));
    }

    QSaveFile file(path);
    const auto fail = [&] {
        throw KrovanError(
            QString("Cannot create file \"%1\". %2").arg(path, file.errorString()).toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    RtfWriter rtf(fonts, colours, pointsize);
    std::u16string text;
    for (std::int64_t n = 0; n < store_.count(); ++n) {
        const auto [font, colour] = places[store_.style(n)];
        store_.text(n, text);
        rtf.text(text, font, colour);
        rtf.endline();
        if (rtf.pending() >= (1 << 16) && !writeall(file, rtf.take()))
            fail();
    }
    rtf.finish();
    if (!writeall(file, rtf.take()) || !file.commit())
        fail();
}

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

// Where a point of the viewport falls in the text.
LogView::Place LogView::placeat(const QPoint &point) const {
    const std::int64_t row = std::max<std::int64_t>(0, toprow() + point.y() / rowheight_);
    return placeofrow(row, point.x() - margin);
}

qsizetype LogView::columnat(std::int64_t line, const QString &text, qsizetype rowstart,
                            qsizetype rowend, qreal x) const {
    const FontAdvances &font = fontof(line);
    qreal at = 0;
    for (qsizetype i = rowstart; i < rowend; ++i) {
        const qreal a = font.advance(text[i]);
        if (x < at + a / 2)
            return i;
        at += a;
    }
    return rowend;
}

LogView::Place LogView::placeofrow(std::int64_t row, qreal x) const {
    if (store_.empty())
        return Place();
    if (row >= index_.total()) {
        const std::int64_t n = store_.count() - 1;
        return Place{n, store_.text(n).size()};
    }
    const auto [line, inrow] = index_.find(row);
    const QString text = store_.text(line);
    const std::vector<qsizetype> starts = startsof(line, text);
    const auto r = static_cast<std::size_t>(inrow);
    const qsizetype from = starts[r];
    qsizetype to = r + 1 < starts.size() ? starts[r + 1] : text.size();
    // A row that wrapped ends before its first character on the next row.
    if (r + 1 < starts.size() && to > from)
        --to;
    return Place{line, columnat(line, text, from, to, x)};
}

std::int64_t LogView::rowof(const Place &place) const {
    const QString text = store_.text(place.line);
    const std::vector<qsizetype> starts = startsof(place.line, text);
    const auto inrow =
        std::upper_bound(starts.begin(), starts.end(), place.column) - starts.begin() - 1;
    return index_.before(place.line) + std::max<std::int64_t>(0, inrow);
}

qreal LogView::xof(const Place &place) const {
    const QString text = store_.text(place.line);
    const std::vector<qsizetype> starts = startsof(place.line, text);
    const auto it = std::upper_bound(starts.begin(), starts.end(), place.column) - 1;
    qreal x = 0;
    for (qsizetype i = *it; i < place.column && i < text.size(); ++i)
        x += fontof(place.line).advance(text[i]);
    return x;
}

void LogView::movecursor(const Place &place, bool select) {
    cursor_ = place;
    if (!select)
        anchor_ = place;
    showcursor();
    viewport()->update();
}

void LogView::showcursor() {
    if (store_.empty())
        return;
    updatescrollbar();
    const std::int64_t row = rowof(cursor_);
    const int page = verticalScrollBar()->pageStep();
    QScrollBar *bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(static_cast<int>(row));
    else if (row >= bar->value() + page)
        bar->setValue(static_cast<int>(row - page + 1));
}

void LogView::clampplaces() {
    for (Place *place : {&cursor_, &anchor_}) {
        if (store_.empty()) {
            *place = Place();
            continue;
        }
        place->line = std::clamp<std::int64_t>(place->line, 0, store_.count() - 1);
        place->column = std::clamp<qsizetype>(place->column, 0, store_.text(place->line).size());
    }
}

QString LogView::selectedtext() const {
    const auto [from, to] = std::minmax(anchor_, cursor_);
    if (from == to || store_.empty())
        return QString();
    QString text;
    for (std::int64_t n = from.line; n <= to.line && n < store_.count(); ++n) {
        const QString line = store_.text(n);
        const qsizetype a = n == from.line ? from.column : 0;
        const qsizetype b = n == to.line ? to.column : line.size();
        if (n > from.line)
            text += '\n';
        text += line.mid(a, b - a);
    }
    return text;
}

void LogView::selectall() {
    anchor_ = Place();
    cursor_ = store_.empty() ? Place()
                             : Place{store_.count() - 1, store_.text(store_.count() - 1).size()};
    viewport()->update();
}

void LogView::copy() const {
    const QString text = selectedtext();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

QMenu *LogView::contextmenu() {
    auto *menu = new QMenu(this);
    QAction *copying = menu->addAction("Kopírovat", this, [this] { copy(); });
    copying->setObjectName("copy");
    copying->setShortcut(QKeySequence::Copy);
    copying->setEnabled(anchor_ != cursor_);
    menu->addSeparator();
    QAction *all = menu->addAction("Vybrat vše", this, [this] { selectall(); });
    all->setObjectName("selectall");
    all->setShortcut(QKeySequence::SelectAll);
    return menu;
}

void LogView::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = contextmenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// Replaces the text between two places by text, which may hold line breaks.
// The new lines take the style of the line the edit starts in.
void LogView::edit(const Place &from, const Place &to, const QString &text) {
    fitwidth();
    if (store_.empty()) {
        putline(QString(), currentindex_);
    }
    const QString first = store_.text(from.line);
    const QString last = from.line == to.line ? first : store_.text(to.line);
    const QStringList pieces = (first.left(from.column) + text + last.mid(to.column)).split('\n');
    const std::vector<QString> texts(pieces.begin(), pieces.end());
    const std::uint8_t style = store_.style(from.line);
    store_.replace(from.line, to.line, texts, style);
    tellspoolfailure();
    if (search_)
        search_->restart();
    // Only the edited lines are wrapped again; the index changes in
    // O(log n) while the edit keeps the count of lines.
    std::vector<RowIndex::Shape> shapes;
    shapes.reserve(texts.size());
    for (const QString &text : texts) {
        WrapState state;
        state.feed(*fonts_[style], text, width_);
        shapes.push_back(RowIndex::Shape{state.rows, state.natural});
    }
    const std::int64_t firstrow = index_.before(from.line);
    index_.splice(from.line, to.line - from.line + 1, shapes);
    const qsizetype tail = last.size() - to.column;
    const std::int64_t endline = from.line + static_cast<std::int64_t>(texts.size()) - 1;
    if (endline + 1 == store_.count())
        restartlast();
    cursor_ = anchor_ = Place{endline, texts.back().size() - tail};
    touched(firstrow);
    showcursor();
}

void LogView::keyPressEvent(QKeyEvent *event) {
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectall();
        return;
    }
    clampplaces();
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (movebykey(event->key(), event->modifiers() & Qt::ShiftModifier, control) ||
        editbykey(event->key()))
        return;
    const auto [selfrom, selto] = std::minmax(anchor_, cursor_);
    const QString text = event->text();
    if (!text.isEmpty() && !control && std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.isPrint() || c == QLatin1Char('\t');
        })) {
        edit(selfrom, selto, text);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

// The keys that move the cursor (with Shift, the selection's end).
bool LogView::movebykey(int key, bool select, bool control) {
    const qsizetype linelength = store_.empty() ? 0 : store_.text(cursor_.line).size();
    const int page = verticalScrollBar()->pageStep();
    switch (key) {
    case Qt::Key_Left:
        if (cursor_.column > 0)
            movecursor(Place{cursor_.line, cursor_.column - 1}, select);
        else if (cursor_.line > 0)
            movecursor(Place{cursor_.line - 1, store_.text(cursor_.line - 1).size()}, select);
        return true;
    case Qt::Key_Right:
        if (cursor_.column < linelength)
            movecursor(Place{cursor_.line, cursor_.column + 1}, select);
        else if (cursor_.line + 1 < store_.count())
            movecursor(Place{cursor_.line + 1, 0}, select);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        if (store_.empty())
            return true;
        const std::int64_t step = key == Qt::Key_Up       ? -1
                                  : key == Qt::Key_Down   ? 1
                                  : key == Qt::Key_PageUp ? -page
                                                          : page;
        const std::int64_t row =
            std::clamp<std::int64_t>(rowof(cursor_) + step, 0, index_.total() - 1);
        if (key == Qt::Key_PageUp || key == Qt::Key_PageDown)
            verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(step));
        movecursor(placeofrow(row, xof(cursor_)), select);
        return true;
    }
    case Qt::Key_Home:
        if (control)
            movecursor(Place(), select);
        else if (!store_.empty())
            movecursor(placeofrow(rowof(cursor_), 0), select);
        return true;
    case Qt::Key_End:
        if (control && !store_.empty())
            movecursor(Place{store_.count() - 1, store_.text(store_.count() - 1).size()}, select);
        else if (!store_.empty())
            movecursor(placeofrow(rowof(cursor_), 1e9), select);
        return true;
    default:
        return false;
    }
}

// The keys that edit: what is selected, or the character before or after
// the cursor (across a line's end), goes; Enter breaks the line.
bool LogView::editbykey(int key) {
    const auto [selfrom, selto] = std::minmax(anchor_, cursor_);
    const bool hasselection = selfrom != selto;
    const qsizetype linelength = store_.empty() ? 0 : store_.text(cursor_.line).size();
    switch (key) {
    case Qt::Key_Backspace:
        if (hasselection)
            edit(selfrom, selto, QString());
        else if (cursor_.column > 0)
            edit(Place{cursor_.line, cursor_.column - 1}, cursor_, QString());
        else if (cursor_.line > 0)
            edit(Place{cursor_.line - 1, store_.text(cursor_.line - 1).size()}, cursor_, QString());
        return true;
    case Qt::Key_Delete:
        if (hasselection)
            edit(selfrom, selto, QString());
        else if (cursor_.column < linelength)
            edit(cursor_, Place{cursor_.line, cursor_.column + 1}, QString());
        else if (cursor_.line + 1 < store_.count())
            edit(cursor_, Place{cursor_.line + 1, 0}, QString());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        edit(selfrom, selto, "\n");
        return true;
    default:
        return false;
    }
}

bool LogView::event(QEvent *event) {
    // Copy and select all belong to the log while it has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void LogView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return;
    fitwidth();
    movecursor(placeat(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void LogView::mouseMoveEvent(QMouseEvent *event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint point = event->position().toPoint();
    QScrollBar *bar = verticalScrollBar();
    if (point.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (point.y() > viewport()->height())
        bar->setValue(bar->value() + 1);
    cursor_ = placeat(point);
    viewport()->update();
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || store_.empty())
        return;
    // The word under the pointer.
    const Place place = placeat(event->position().toPoint());
    const QString text = store_.text(place.line);
    qsizetype a = place.column, b = place.column;
    while (a > 0 && !text[a - 1].isSpace())
        --a;
    while (b < text.size() && !text[b].isSpace())
        ++b;
    anchor_ = Place{place.line, a};
    cursor_ = Place{place.line, b};
    viewport()->update();
}

void LogView::focusInEvent(QFocusEvent *event) {
    focused_ = true;
    viewport()->update();
    QAbstractScrollArea::focusInEvent(event);
}

void LogView::focusOutEvent(QFocusEvent *event) {
    focused_ = false;
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}
