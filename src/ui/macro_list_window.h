#pragma once

#include "macro_row.h"
#include "macro_rows_area.h"
#include "row_list_window.h"

class QLabel;
class QPushButton;

// "Data k odeslání": the send macros, one TFrame_tx per row.
class TForm_TX : public RowListWindow<TFrame_tx> {
    Q_OBJECT
public:
    explicit TForm_TX(QWidget *parent = nullptr);

    QPushButton *Button_tx_down;
    QPushButton *Button_tx_up;
    QPushButton *Button_del_tx;
    QPushButton *Button_new_tx;
    TFrame_TX_main *Frame_TX_main1;

    // Rows at positions 1 to tx_count; position 0 is unused.
    Rows tx_frames{};
    int tx_count = 0;
    int tx_selected = 0;

    void Button_new_txClick() { addrow(); }
    void Button_del_txClick() { deleterow(); }
    void Button_tx_upClick() { moverow(-1); }
    void Button_tx_downClick() { moverow(+1); }

    // Row n named "tx_frame_" + n with "tx_" + n, "data_" + n and "1000".
    TFrame_tx *createrow(int n) override;
    void rowschanged() override;

protected:
    Fields fields() override { return {tx_frames, tx_count, tx_selected}; }
    void copyrow(TFrame_tx *to, TFrame_tx *from) override;
    void swaprows(TFrame_tx *selected, TFrame_tx *target) override;
};
