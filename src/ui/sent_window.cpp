#include "sent_window.h"

TForm_txw::TForm_txw(QWidget *parent)
    : TDataWindow({"Form_txw", "Odeslaná data", "RichEdit_tx", "Button_save", QColor(0, 0, 255),
                   Direction::Sent},
                  parent),
      RichEdit_tx(view), Button_save(savebutton) {}
