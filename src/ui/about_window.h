#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;

// The about box with the program's name and version. It is shown modally
// with exec() and closed with its caption bar's close box; every showing
// centres it over the main window and writes the version into Label_verze.
class TForm_about : public QDialog {
    Q_OBJECT
public:
    // The box centres itself over its parent unless setcentreover() names
    // another window.
    explicit TForm_about(QWidget *parent = nullptr);

    void setcentreover(QWidget *window);

    QLabel *Label1 = nullptr;
    QLabel *Label_verze = nullptr;

public slots:
    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void centre();

    QPointer<QWidget> centreOver;
};
