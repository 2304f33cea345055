#pragma once

#include "list_row.h"
#include "repeat_timer.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// One send macro of the macro list: a description, a data text, a HEX box,
// the "Odeslat" button, a repeat period in milliseconds and a repeat box.
class TFrame_tx : public ListRow {
    Q_OBJECT
public:
    explicit TFrame_tx(int n);
    ~TFrame_tx() override;

    QLineEdit *Edit_popis;
    QLineEdit *Edit_data;
    QCheckBox *CheckBox_hex;
    QPushButton *Button_send;
    QLineEdit *Edit_interval;
    QCheckBox *CheckBox1;
    // Runs while the row repeats; enabled() tells whether it is switched on.
    RepeatTimer *Timer1;

    // Sends the row once on the active link.
    void Button_sendClick();
    // Applies the repeat box: period from Edit_interval, timer on or off,
    // period field locked while repeating. A period text that is not an
    // integer throws before anything changes.
    void CheckBox1Click();
    void Timer1Timer();
    void CheckBox1Enter();
    void FrameClick() override;

    // Sets the repeat box by program; CheckBox1Click runs when the state
    // really changes, and its failure reaches the caller.
    void setrepeat(bool repeat);
    // After a list operation brought new contents into the row: the timer
    // runs exactly when the box is ticked, at the period the row now shows.
    void resumerepeat();

protected:
    void controlentered(QWidget *control) override;
};
