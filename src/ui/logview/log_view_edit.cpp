// The log view's selection and editing: the cursor and its moves, the
// keys and the mouse, the copy and the context menu.
#include "log_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

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
