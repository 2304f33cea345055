#include "row_list_window.h"

#include "anchors.h"
#include "guard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int maxgrowingheight = 500;

} // namespace

std::tuple<QPushButton *, QPushButton *, QPushButton *, QPushButton *>
ListWindowBase::build(const Design &design, RowsArea *rows) {
    resize(design.size);
    auto *anchors = new Anchors(this);
    const char *const captions[] = {"Nový", "Smazat", "Nahoru", "Dolu"};
    const std::function<void()> actions[] = {[this] { addrow(); }, [this] { deleterow(); },
                                             [this] { moverow(-1); }, [this] { moverow(+1); }};
    QPushButton *buttons[4];
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
        buttons[i]->setObjectName(design.buttonNames[i]);
        anchors->add(buttons[i], {design.buttonLefts[i], design.buttonTop, 75, 25},
                     Qt::TopEdge | Qt::RightEdge);
        connect(buttons[i], &QPushButton::clicked, this,
                [action = actions[i]] { guarded(action); });
    }
    for (const Heading &heading : design.headings) {
        auto *label = new QLabel(QString::fromUtf8(heading.caption), this);
        label->setObjectName(heading.name);
        anchors->add(label, {QPoint(heading.left, 32), label->sizeHint()},
                     Qt::TopEdge | (heading.rightAnchored ? Qt::RightEdge : Qt::LeftEdge));
    }
    anchors->add(rows, design.rows, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    return {buttons[0], buttons[1], buttons[2], buttons[3]};
}

void ListWindowBase::limitheight(int count) {
    setMaximumHeight(count * rowheight + 100);
}

void ListWindowBase::growbyrow() {
    if (height() < maxgrowingheight)
        resize(width(), height() + rowheight);
}

void swaptexts(QLineEdit *a, QLineEdit *b) {
    const QString text = a->text();
    a->setText(b->text());
    b->setText(text);
}

void swaptexts(QComboBox *a, QComboBox *b) {
    const QString text = a->currentText();
    a->setEditText(b->currentText());
    b->setEditText(text);
}

void swapchecks(QCheckBox *a, QCheckBox *b) {
    const bool checked = a->isChecked();
    a->setChecked(b->isChecked());
    b->setChecked(checked);
}
