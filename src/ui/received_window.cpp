#include "received_window.h"

#include "tool_window.h"

TForm_rxw::TForm_rxw(QWidget *parent) : QWidget(parent)
{
    maketoolwindow(this, "Form_rxw", "Přijatá data");
    resize(400, 300);
}
