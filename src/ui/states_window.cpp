#include "states_window.h"

#include "tool_window.h"

TForm_RX_TX::TForm_RX_TX(QWidget *parent) : QWidget(parent)
{
    maketoolwindow(this, "Form_RX_TX", "Stavy a data");
    resize(500, 400);
}
