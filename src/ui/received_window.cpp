#include "received_window.h"

TForm_rxw::TForm_rxw(QWidget *parent)
    : TDataWindow({"Form_rxw", "Přijatá data", "RichEdit_rx", "Button_Save", QColor(255, 0, 0),
                   Direction::Received},
                  parent),
      RichEdit_rx(view), Button_Save(savebutton) {}
