#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The help window: four pages of fixed text on send macros, the receive
// window, filters and port numbers. It is created once and only shown and
// hidden, so it opens again on the page that was shown last.
class TForm_help : public QWidget {
    Q_OBJECT
public:
    explicit TForm_help(QWidget *parent = nullptr);

    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    QWidget *TabSheet4 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPlainTextEdit *Memo2 = nullptr;
    QPlainTextEdit *Memo3 = nullptr;
    QPlainTextEdit *Memo4 = nullptr;
    QPushButton *Button1 = nullptr;

public slots:
    void Button1Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *addpage(const QString &name, const QString &caption, QPlainTextEdit *memo);
    QPlainTextEdit *makememo(const QString &name, const QString &text);
    void makefollowing(QWidget *page, QPlainTextEdit *memo);
    void makefixed(QWidget *page, QPlainTextEdit *memo);
    void placecontrols();
    // One font for the four texts in which every written line fits.
    void fittextfont();

    bool portsMemoPlaced = false;
};
