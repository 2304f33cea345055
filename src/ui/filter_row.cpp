#include "filter_row.h"

#include "filter_list_window.h"
#include "forms.h"
#include "macro_list_window.h"
#include "whole_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

TFrame_filtr::TFrame_filtr(int n) : ListRow(n, {440, 23}) {
    constexpr Qt::Edges topright = Qt::TopEdge | Qt::RightEdge;
    CheckBox_filtr_active = addcontrol(new QCheckBox, "CheckBox_filtr_active", {8, 3, 12, 17},
                                       Qt::LeftEdge | Qt::TopEdge);
    Edit_filtr = addcontrol(new QLineEdit("Pokus"), "Edit_filtr", {24, 1, 169, 21},
                            Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    CheckBox_filtr_hex =
        addcontrol(new QCheckBox, "CheckBox_filtr_hex", {200, 3, 12, 17}, topright);
    ComboBox_filtr_macro =
        addcontrol(new QComboBox, "ComboBox_filtr_macro", {216, 1, 121, 21}, topright);
    ComboBox_filtr_macro->setEditable(true);
    // Typing a text and pressing Enter must not add it to the offered list.
    ComboBox_filtr_macro->setInsertPolicy(QComboBox::NoInsert);
    ComboBox_filtr_macro->setMaxVisibleItems(30);
    ComboBox_filtr_macro->setEditText("ComboBox_filtr_macro");
    ComboBox_filtr_mode =
        addcontrol(new QComboBox, "ComboBox_filtr_mode", {344, 1, 89, 21}, topright);
    ComboBox_filtr_mode->addItems({"začíná", "obsahuje", "končí", "je rovno", "výraz"});
    connect(ComboBox_filtr_mode, &QComboBox::currentIndexChanged, this,
            [this] { CheckBox_filtr_hex->setEnabled(mode() != MatchMode::Expression); });
    settaborder({Edit_filtr, CheckBox_filtr_active, ComboBox_filtr_macro, CheckBox_filtr_hex,
                 ComboBox_filtr_mode});
    takewholetexts(this);
}

MatchMode TFrame_filtr::mode() const {
    const int index = ComboBox_filtr_mode->currentIndex();
    return index >= 0 && index <= 4 ? static_cast<MatchMode>(index) : MatchMode::Begins;
}

void TFrame_filtr::showproblem(const QString &problem) {
    QPalette colours = Edit_filtr->palette();
    colours.setColor(QPalette::Text,
                     problem.isEmpty() ? palette().color(QPalette::Text) : QColor(255, 0, 0));
    Edit_filtr->setPalette(colours);
    Edit_filtr->setToolTip(problem);
}

void TFrame_filtr::CheckBox_filtr_activeEnter() {
    Form_RX_filtr->selectrow(number);
}

void TFrame_filtr::FrameClick() {
    Form_RX_filtr->selectrow(number);
}

void TFrame_filtr::ComboBox_filtr_macroEnter() {
    Form_RX_filtr->selectrow(number);
    const QString text = ComboBox_filtr_macro->currentText();
    ComboBox_filtr_macro->clear();
    for (int n = 1; n <= Form_TX->tx_count; ++n)
        ComboBox_filtr_macro->addItem(Form_TX->tx_frames[n]->Edit_popis->text());
    ComboBox_filtr_macro->setEditText(text);
}

void TFrame_filtr::controlentered(QWidget *control) {
    if (control == ComboBox_filtr_macro)
        ComboBox_filtr_macroEnter();
    else
        CheckBox_filtr_activeEnter();
}
