#include "macro_list_window.h"

#include "forms.h"
#include "session.h"
#include "tool_window.h"

#include <QCheckBox>
#include <QLineEdit>

TForm_TX::TForm_TX(QWidget *parent) : RowListWindow(parent) {
    maketoolwindow(this, "Form_TX", "Data k odeslání");
    const Design design = {{592, 325},
                           3,
                           {"Button_new_tx", "Button_del_tx", "Button_tx_up", "Button_tx_down"},
                           {492, 412, 332, 252},
                           {{{"Label1", "Popis", 16, false},
                             {"Label2", "Data", 104, false},
                             {"Label3", "HEX", 395, true},
                             {"Label4", "Opakování", 508, true}}},
                           {0, 48, 592, 277}};
    Frame_TX_main1 = new TFrame_TX_main(this);
    std::tie(Button_new_tx, Button_del_tx, Button_tx_up, Button_tx_down) =
        build(design, Frame_TX_main1);
}

TFrame_tx *TForm_TX::createrow(int n) {
    TFrame_tx *row = makerow(n, Frame_TX_main1, "tx_frame_");
    row->Edit_popis->setText(QString("tx_%1").arg(n));
    row->Edit_data->setText(QString("data_%1").arg(n));
    row->Edit_interval->setText("1000");
    for (QLineEdit *edit : {row->Edit_popis, row->Edit_data, row->Edit_interval})
        connect(edit, &QLineEdit::textChanged, this, &TForm_TX::rowschanged);
    connect(row->CheckBox_hex, &QCheckBox::toggled, this, &TForm_TX::rowschanged);
    rowschanged();
    return row;
}

void TForm_TX::rowschanged() {
    if (!Session1)
        return;
    std::vector<MacroSetup> macros;
    for (int n = 1; n <= tx_count; ++n) {
        const TFrame_tx *row = tx_frames[n];
        macros.push_back(row ? MacroSetup{row->Edit_popis->text(), row->Edit_data->text(),
                                          row->CheckBox_hex->isChecked(),
                                          row->Edit_interval->text()}
                             : MacroSetup{});
    }
    Session1->setup.macros = std::move(macros);
}

// Row i takes the contents of row i + 1; its repeat follows them.
void TForm_TX::copyrow(TFrame_tx *to, TFrame_tx *from) {
    to->Timer1->setEnabled(false);
    to->Edit_popis->setText(from->Edit_popis->text());
    to->Edit_data->setText(from->Edit_data->text());
    to->Edit_interval->setText(from->Edit_interval->text());
    to->setrepeat(from->CheckBox1->isChecked());
    to->CheckBox_hex->setChecked(from->CheckBox_hex->isChecked());
    to->resumerepeat();
}

// Texts first, then the HEX boxes, then the repeat boxes: a period text that
// fails in a repeat box's click leaves both rows' texts complete.
void TForm_TX::swaprows(TFrame_tx *selected, TFrame_tx *target) {
    selected->Timer1->setEnabled(false);
    target->Timer1->setEnabled(false);
    swaptexts(selected->Edit_popis, target->Edit_popis);
    swaptexts(selected->Edit_data, target->Edit_data);
    swaptexts(selected->Edit_interval, target->Edit_interval);
    swapchecks(selected->CheckBox_hex, target->CheckBox_hex);
    const bool repeat = selected->CheckBox1->isChecked();
    selected->setrepeat(target->CheckBox1->isChecked());
    target->setrepeat(repeat);
    selected->resumerepeat();
    target->resumerepeat();
}
