#include "macro_row.h"

#include "bytes_text.h"
#include "codec.h"
#include "errors.h"
#include "forms.h"
#include "guard.h"
#include "macro_list_window.h"
#include "session.h"
#include "whole_texts.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

int periodof(const QLineEdit *edit) {
    return strtoint(toBytes(edit->text()));
}

} // namespace

TFrame_tx::TFrame_tx(int n) : ListRow(n, {404, 23}) {
    constexpr Qt::Edges topright = Qt::TopEdge | Qt::RightEdge;
    Edit_popis = addcontrol(new QLineEdit("data k odeslání"), "Edit_popis", {8, 1, 81, 21},
                            Qt::LeftEdge | Qt::TopEdge);
    // The period field shows eight digits; the data field gives up the width.
    Edit_data = addcontrol(new QLineEdit("Pokus"), "Edit_data", {96, 1, 132, 21},
                           Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    CheckBox_hex = addcontrol(new QCheckBox, "CheckBox_hex", {235, 3, 12, 17}, topright);
    Button_send = addcontrol(new QPushButton("Odeslat"), "Button_send", {251, 1, 57, 21}, topright);
    Edit_interval = addcontrol(new QLineEdit("2000"), "Edit_interval", {315, 1, 62, 21}, topright);
    CheckBox1 = addcontrol(new QCheckBox, "CheckBox1", {384, 3, 17, 17}, topright);
    settaborder({Edit_data, Edit_interval, Button_send, CheckBox1, Edit_popis, CheckBox_hex});
    takewholetexts(this);

    // The session's timer of this row number: it sends the row at each tick.
    Timer1 = Session1->repeattimer(n);
    connect(Button_send, &QPushButton::clicked, this,
            [this] { guarded([this] { Button_sendClick(); }); });
    // toggled, not clicked: a change by program runs the handler too, and
    // only a real change does.
    connect(CheckBox1, &QCheckBox::toggled, this,
            [this] { guarded([this] { CheckBox1Click(); }); });
}

void TFrame_tx::CheckBox1Click() {
    Timer1->setPeriod(periodof(Edit_interval));
    Timer1->setEnabled(CheckBox1->isChecked());
    Edit_interval->setEnabled(!CheckBox1->isChecked());
}

TFrame_tx::~TFrame_tx() {
    // A row that goes stops repeating; its number's timer stays for the
    // next row of that number.
    if (Session1)
        Timer1->setEnabled(false);
}

void TFrame_tx::Timer1Timer() {
    guarded([this] { Button_sendClick(); });
}

void TFrame_tx::setrepeat(bool repeat) {
    if (CheckBox1->isChecked() == repeat)
        return;
    {
        // The signal would catch the failure; here it belongs to the caller.
        const QSignalBlocker blocker(CheckBox1);
        CheckBox1->setChecked(repeat);
    }
    CheckBox1Click();
}

void TFrame_tx::resumerepeat() {
    if (!CheckBox1->isChecked())
        return;
    try {
        Timer1->setPeriod(periodof(Edit_interval));
    } catch (const KrovanError &) {
        // The box was ticked over a period text that failed: the timer runs
        // on with the period it had before.
    }
    Timer1->setEnabled(true);
}

void TFrame_tx::CheckBox1Enter() {
    Form_TX->selectrow(number);
}

void TFrame_tx::FrameClick() {
    Form_TX->selectrow(number);
}

void TFrame_tx::controlentered(QWidget *) {
    CheckBox1Enter();
}
