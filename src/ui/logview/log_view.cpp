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
    : QAbstractScrollArea(parent), default_(style) {
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
                state.feedstored(*fonts_[store_.style(n)], bytes, size, width_);
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
    // The short ones, nearly all, allocate nothing for it.
    const bool long_ = text.size() > longline;
    std::vector<qsizetype> starts;
    if (long_)
        starts.push_back(0);
    last_ = WrapState();
    last_.feed(*fonts_[style], text, width_, long_ ? &starts : nullptr);
    store_.add(text, style);
    index_.push(RowIndex::Shape{last_.rows, last_.natural});
    tellspoolfailure();
    if (long_)
        keepstarts(store_.count() - 1, std::move(starts));
}

void LogView::putstored(std::string_view stored, std::uint8_t style) {
    // A line that may be long keeps its row starts, found in its text.
    if (stored.size() > longstored) {
        putline(LogStore::decode(stored.data(), stored.size()), style);
        return;
    }
    last_ = WrapState();
    last_.feedstored(*fonts_[style], stored.data(), stored.size(), width_);
    store_.addstored(stored, style);
    index_.push(RowIndex::Shape{last_.rows, last_.natural});
    tellspoolfailure();
}

void LogView::setstyle(const LineStyle &style) {
    // A record's lines mostly keep the style they had, or take one of the
    // few the view knows: a look-up in a short table, no copy.
    if (!(style == styles_[currentindex_]))
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
    {
        const LogStore::Adding adding(store_);
        for (const LogLine &line : lines) {
            setstyle(line.style);
            if (line.stored.empty())
                putline(line.text, currentindex_);
            else
                putstored(line.stored, currentindex_);
        }
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

void LogView::appendstored(std::string_view stored) {
    fitwidth();
    const std::int64_t n = store_.count() - 1;
    // A line whose row starts are kept, or that may become long, grows by
    // its text.
    if (empty() || startsknown(n) || stored.size() > longstored) {
        appendtext(LogStore::decode(stored.data(), stored.size()));
        return;
    }
    if (stored.empty())
        return;
    const std::int64_t from = index_.total() - 1; // the appended text starts in the last row
    last_.feedstored(fontof(n), stored.data(), stored.size(), width_);
    store_.appendstored(stored);
    index_.setlast(RowIndex::Shape{last_.rows, last_.natural});
    tellspoolfailure();
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
