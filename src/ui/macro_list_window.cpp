#include "macro_list_window.h"

#include "tool_window.h"

TForm_TX::TForm_TX(QWidget *parent) : QWidget(parent)
{
    maketoolwindow(this, "Form_TX", "Data k odeslání");
    resize(480, 300);
}
