#include "filter_list_window.h"

#include "forms.h"
#include "session.h"
#include "tool_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

TForm_RX_filtr::TForm_RX_filtr(QWidget *parent) : RowListWindow(parent) {
    maketoolwindow(this, "Form_RX_filtr", "Přijímací filtr");
    // The match mode's column made the window 96 pixels wider than the
    // three columns before it.
    const Design design = {
        {543, 309},
        5,
        {"Button_filtr_new", "Button_filtr_del", "Button_filtr_up", "Button_filtr_down"},
        {449, 369, 289, 209},
        {{{"Label1", "Aktivní", 8, false},
          {"Label2", "Filtr", 64, false},
          {"Label3", "HEX", 273, true},
          {"Label4", "Makro", 313, true},
          {"Label5", "Shoda", 441, true}}},
        {8, 47, 513, 218}};
    Frame_filtr_main1 = new TFrame_filtr_main(this);
    std::tie(Button_filtr_new, Button_filtr_del, Button_filtr_up, Button_filtr_down) =
        build(design, Frame_filtr_main1);
}

TFrame_filtr *TForm_RX_filtr::createrow(int n) {
    TFrame_filtr *row = makerow(n, Frame_filtr_main1, "filtr_frame_");
    row->Edit_filtr->clear();
    row->ComboBox_filtr_macro->setEditText(QString());
    connect(row->Edit_filtr, &QLineEdit::textChanged, this, &TForm_RX_filtr::rowschanged);
    connect(row->ComboBox_filtr_macro, &QComboBox::editTextChanged, this,
            &TForm_RX_filtr::rowschanged);
    for (QCheckBox *box : {row->CheckBox_filtr_active, row->CheckBox_filtr_hex})
        connect(box, &QCheckBox::toggled, this, &TForm_RX_filtr::rowschanged);
    connect(row->ComboBox_filtr_mode, &QComboBox::currentIndexChanged, this,
            &TForm_RX_filtr::rowschanged);
    rowschanged();
    return row;
}

// The session converts each filter's pattern when its row changes, not at
// every received block.
void TForm_RX_filtr::rowschanged() {
    if (!Session1)
        return;
    std::vector<FilterSetup> filters;
    for (int n = 1; n <= filtr_count; ++n) {
        const TFrame_filtr *row = filtr_frames[n];
        filters.push_back(row ? FilterSetup{row->Edit_filtr->text(),
                                            row->CheckBox_filtr_hex->isChecked(),
                                            row->CheckBox_filtr_active->isChecked(),
                                            row->ComboBox_filtr_macro->currentText(), row->mode()}
                              : FilterSetup{});
    }
    Session1->setfilters(std::move(filters));
    // A pattern that cannot be used shows at once, with the reason.
    for (int n = 1; n <= filtr_count; ++n)
        if (TFrame_filtr *row = filtr_frames[n])
            row->showproblem(Session1->filterproblem(n));
}

void TForm_RX_filtr::copyrow(TFrame_filtr *to, TFrame_filtr *from) {
    to->Edit_filtr->setText(from->Edit_filtr->text());
    to->ComboBox_filtr_macro->setEditText(from->ComboBox_filtr_macro->currentText());
    to->CheckBox_filtr_active->setChecked(from->CheckBox_filtr_active->isChecked());
    to->CheckBox_filtr_hex->setChecked(from->CheckBox_filtr_hex->isChecked());
    to->ComboBox_filtr_mode->setCurrentIndex(from->ComboBox_filtr_mode->currentIndex());
}

void TForm_RX_filtr::swaprows(TFrame_filtr *selected, TFrame_filtr *target) {
    swaptexts(selected->Edit_filtr, target->Edit_filtr);
    swaptexts(selected->ComboBox_filtr_macro, target->ComboBox_filtr_macro);
    swapchecks(selected->CheckBox_filtr_active, target->CheckBox_filtr_active);
    swapchecks(selected->CheckBox_filtr_hex, target->CheckBox_filtr_hex);
    const int mode = selected->ComboBox_filtr_mode->currentIndex();
    selected->ComboBox_filtr_mode->setCurrentIndex(target->ComboBox_filtr_mode->currentIndex());
    target->ComboBox_filtr_mode->setCurrentIndex(mode);
}
