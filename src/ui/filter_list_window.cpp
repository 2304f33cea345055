#include "filter_list_window.h"

#include "tool_window.h"

TForm_RX_filtr::TForm_RX_filtr(QWidget *parent) : QWidget(parent)
{
    maketoolwindow(this, "Form_RX_filtr", "Přijímací filtr");
    resize(420, 200);
}
