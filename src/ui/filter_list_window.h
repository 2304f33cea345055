#pragma once

#include "filter_row.h"
#include "filter_rows_area.h"
#include "row_list_window.h"

class QPushButton;

// "Přijímací filtr": the receive filters, one TFrame_filtr per row.
class TForm_RX_filtr : public RowListWindow<TFrame_filtr> {
    Q_OBJECT
public:
    explicit TForm_RX_filtr(QWidget *parent = nullptr);

    QPushButton *Button_filtr_down;
    QPushButton *Button_filtr_up;
    QPushButton *Button_filtr_del;
    QPushButton *Button_filtr_new;
    TFrame_filtr_main *Frame_filtr_main1;

    // Rows at positions 1 to filtr_count; position 0 is unused.
    Rows filtr_frames{};
    int filtr_count = 0;
    int filtr_selected = 0;

    void Button_filtr_newClick() { addrow(); }
    void Button_filtr_delClick() { deleterow(); }
    void Button_filtr_upClick() { moverow(-1); }
    void Button_filtr_downClick() { moverow(+1); }

    // Row n named "filtr_frame_" + n: empty texts, both boxes unticked.
    TFrame_filtr *createrow(int n) override;
    void rowschanged() override;

protected:
    Fields fields() override { return {filtr_frames, filtr_count, filtr_selected}; }
    void copyrow(TFrame_filtr *to, TFrame_filtr *from) override;
    void swaprows(TFrame_filtr *selected, TFrame_filtr *target) override;
};
