#pragma once

#include "rows_area.h"

// The scrolling container of the filter rows.
class TFrame_filtr_main : public RowsArea {
public:
    explicit TFrame_filtr_main(QWidget *parent) : RowsArea(parent, "Frame_filtr_main1", 344) {}
};
