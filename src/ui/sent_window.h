#pragma once

#include "data_window.h"

// "Odeslaná data": every sent block, in blue.
class TForm_txw : public TDataWindow {
    Q_OBJECT
public:
    explicit TForm_txw(QWidget *parent = nullptr);

    LogView *const RichEdit_tx;
    QPushButton *const Button_save;
};
