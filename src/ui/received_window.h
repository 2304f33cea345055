#pragma once

#include "data_window.h"

// "Přijatá data": every received block, in red.
class TForm_rxw : public TDataWindow {
    Q_OBJECT
public:
    explicit TForm_rxw(QWidget *parent = nullptr);

    LogView *const RichEdit_rx;
    QPushButton *const Button_Save;

    void Button_SaveClick() { Button_saveClick(); }
};
