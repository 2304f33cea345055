#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

// "Síťové porty": the network serial ports the port list offers, one
// rfc2217://HOST:PORT a line. The lines are checked when the user leaves
// the window (its button or its close box): a malformed line is named in an
// error box and kept out; the others are handed on through `left`.
class TForm_netports : public QDialog {
    Q_OBJECT
public:
    explicit TForm_netports(QWidget *parent = nullptr);

    // Shows the ports to edit.
    void edit(const QStringList &ports);

    QPlainTextEdit *Memo_ports = nullptr;
    QPushButton *Button_ok = nullptr;

    // Every way out (the button, the close box, Esc) leaves through here.
    void done(int result) override;

signals:
    // The well-formed lines, in their order, each once.
    void left(const QStringList &ports);

private:
    void leave();
};
