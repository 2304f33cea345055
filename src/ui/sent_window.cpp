#include "sent_window.h"

#include "tool_window.h"

TForm_txw::TForm_txw(QWidget *parent) : QWidget(parent)
{
    maketoolwindow(this, "Form_txw", "Odeslaná data");
    resize(400, 300);
}
