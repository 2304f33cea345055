#include "find_bar.h"

#include "log_view.h"
#include "named.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include <limits>
#include <string_view>

namespace {

std::u16string_view view(const QString &text) {
    return {reinterpret_cast<const char16_t *>(text.utf16()),
            static_cast<std::size_t>(text.size())};
}

} // namespace

FindBar::FindBar(LogView *view, QWidget *parent) : QWidget(parent), view_(view) {
    setObjectName("FindBar");
    Edit_find = named(new QLineEdit, "Edit_find");
    // A pasted text is looked for whole, however long.
    Edit_find->setMaxLength(std::numeric_limits<int>::max());
    CheckBox_find_regex = named(new QCheckBox("výraz"), "CheckBox_find_regex");
    CheckBox_find_case = named(new QCheckBox("rozlišovat velikost"), "CheckBox_find_case");
    Button_find_prev = named(new QPushButton("Předchozí"), "Button_find_prev");
    Button_find_next = named(new QPushButton("Další"), "Button_find_next");
    Label_find_count = named(new QLabel, "Label_find_count");

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(Edit_find, 1);
    row->addWidget(CheckBox_find_regex);
    row->addWidget(CheckBox_find_case);
    row->addWidget(Button_find_prev);
    row->addWidget(Button_find_next);
    row->addWidget(Label_find_count);
    Edit_find->installEventFilter(this);
    hide();

    connect(Edit_find, &QLineEdit::textChanged, this, [this] { restart(); });
    connect(CheckBox_find_regex, &QCheckBox::toggled, this, [this] { restart(); });
    connect(CheckBox_find_case, &QCheckBox::toggled, this, [this] { restart(); });
    connect(Button_find_next, &QPushButton::clicked, this, [this] { findnext(); });
    connect(Button_find_prev, &QPushButton::clicked, this, [this] { findprevious(); });
    connect(&view_->search(), &LogSearch::progressed, this, [this] { showcount(); });
}

void FindBar::openwith(QPushButton *button, QWidget *window) {
    connect(button, &QPushButton::clicked, this, [this] { open(); });
    auto *shortcut = new QShortcut(QKeySequence::Find, window);
    connect(shortcut, &QShortcut::activated, this, [this] { open(); });
}

void FindBar::open() {
    const bool opening = isHidden();
    show();
    Edit_find->setFocus();
    Edit_find->selectAll();
    if (opening)
        restart();
}

void FindBar::close() {
    hide();
    view_->search().stop();
    view_->setFocus();
}

void FindBar::restart() {
    if (isHidden())
        return;
    matcher_ = std::make_shared<const LineMatcher>(
        Edit_find->text(), CheckBox_find_regex->isChecked(), CheckBox_find_case->isChecked());
    scratch_ = std::make_unique<LineMatcher::Scratch>(*matcher_);
    view_->search().start(matcher_);
    showcount();
}

void FindBar::showcount() {
    const LogSearch &search = view_->search();
    if (matcher_ && !matcher_->error().isEmpty()) {
        Label_find_count->setText(matcher_->error());
        return;
    }
    if (!matcher_ || !matcher_->usable()) {
        Label_find_count->clear();
        return;
    }
    const std::int64_t found = search.found();
    QStringList parts;
    if (found > 0)
        parts << QString("%1 nalezeno").arg(found);
    else if (!search.searching())
        parts << "nenalezeno";
    // Said once for all the lines the expression could not be tried on.
    if (const std::int64_t complex = search.toocomplex(); complex > 0)
        parts << QString("výraz je příliš složitý pro %1 řádků").arg(complex);
    Label_find_count->setText(parts.join(", "));
}

LineMatcher::Match FindBar::firstin(std::int64_t n, qsizetype from) {
    const QString text = view_->lineText(static_cast<int>(n));
    return matcher_->find(view(text), from, *scratch_);
}

LineMatcher::Match FindBar::lastin(std::int64_t n, qsizetype before) {
    const QString text = view_->lineText(static_cast<int>(n));
    LineMatcher::Match last;
    for (qsizetype from = 0;;) {
        const LineMatcher::Match match = matcher_->find(view(text), from, *scratch_);
        if (!match || match.start >= before)
            return last;
        last = match;
        from = match.start + 1;
    }
}

void FindBar::select(std::int64_t n, const LineMatcher::Match &match) {
    view_->selectrange(n, match.start, match.start + match.length);
    lastline_ = n;
    last_ = match;
}

// From the end of the selection (the match found last) on; past the last
// match, from the first line again.
void FindBar::findnext() {
    if (!matcher_ || !matcher_->usable() || view_->lineCount() == 0)
        return;
    const auto [line, column] = view_->selectionend();
    // An empty match is not found again where it stands.
    const bool emptyhere = lastline_ == line && last_.start == column && last_.length == 0;
    const qsizetype from = emptyhere ? column + 1 : column;
    if (line < view_->lineCount()) {
        if (const LineMatcher::Match match = firstin(line, from)) {
            select(line, match);
            return;
        }
    }
    const LogSearch &search = view_->search();
    for (const std::int64_t after : {line, std::int64_t(-1)}) {
        const std::int64_t n = search.nextline(after);
        if (n < 0 || n >= view_->lineCount())
            continue;
        if (const LineMatcher::Match match = firstin(n, 0)) {
            select(n, match);
            return;
        }
    }
}

// Before the start of the selection; before the first match, from the
// last line again.
void FindBar::findprevious() {
    if (!matcher_ || !matcher_->usable() || view_->lineCount() == 0)
        return;
    const auto [line, column] = view_->selectionstart();
    if (line < view_->lineCount()) {
        if (const LineMatcher::Match match = lastin(line, column)) {
            select(line, match);
            return;
        }
    }
    const LogSearch &search = view_->search();
    for (const std::int64_t before : {line, std::int64_t(view_->lineCount())}) {
        const std::int64_t n = search.previousline(before);
        if (n < 0)
            continue;
        if (const LineMatcher::Match match = lastin(n, std::numeric_limits<qsizetype>::max())) {
            select(n, match);
            return;
        }
    }
}

bool FindBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Edit_find && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                findprevious();
            else
                findnext();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
