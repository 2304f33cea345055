#pragma once

#include "list_row.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// One receive filter: while active, a received block that begins with the
// filter text is answered by the macro whose description the row names.
class TFrame_filtr : public ListRow {
    Q_OBJECT
public:
    explicit TFrame_filtr(int n);

    QLineEdit *Edit_filtr;
    QCheckBox *CheckBox_filtr_active;
    // Editable; only its text counts, the list just offers the macros.
    QComboBox *ComboBox_filtr_macro;
    QCheckBox *CheckBox_filtr_hex;

    void CheckBox_filtr_activeEnter();
    // Selects the row and lists the macro descriptions anew, keeping the text.
    void ComboBox_filtr_macroEnter();
    void FrameClick() override;

protected:
    void controlentered(QWidget *control) override;
};
