#pragma once

#include "rows_area.h"

// The scrolling container of the macro rows.
class TFrame_TX_main : public RowsArea {
public:
    explicit TFrame_TX_main(QWidget *parent) : RowsArea(parent, "Frame_TX_main1", 404) {}
};
