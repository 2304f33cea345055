#pragma once

#include "list_row.h"
#include "setup.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// One receive filter: while active, a received block that matches the
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
    // How the pattern matches: "začíná" (the default), "obsahuje", "končí",
    // "je rovno", "výraz" (a regular expression; the HEX box does not apply).
    QComboBox *ComboBox_filtr_mode;
    MatchMode mode() const;
    // The text in red with the reason as its tooltip; empty: as usual.
    void showproblem(const QString &problem);

    void CheckBox_filtr_activeEnter();
    // Selects the row and lists the macro descriptions anew, keeping the text.
    void ComboBox_filtr_macroEnter();
    void FrameClick() override;

protected:
    void controlentered(QWidget *control) override;
};
